// Files that the unit tests read: the served resources from the source tree, and what the program
// writes beside the test executable (config.ini, the day's logs).
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

#include "platform/platform.h"

// The folder of the running test executable, where the program writes its files.
inline std::string Test_Folder(void) {
    char charFolder[1024];
    if (Platform_GetExecutableFolder(charFolder, sizeof(charFolder)) != 0) return "<no folder>";
    return charFolder;
}

// The whole file, or "<missing>" when it cannot be read.
inline std::string Test_ReadFile(const std::string &stringPath) {
    FILE *pfileRead = fopen(stringPath.c_str(), "rb");
    if (pfileRead == nullptr) return "<missing>";
    std::string stringText;
    char charBuffer[4096];
    size_t sizeRead;
    while ((sizeRead = fread(charBuffer, 1, sizeof(charBuffer), pfileRead)) > 0) stringText.append(charBuffer, sizeRead);
    fclose(pfileRead);
    return stringText;
}

// A file of resources/ in the source tree.
inline std::string Test_Resource(const std::string &stringName) {
    return Test_ReadFile(std::string(SORVANE_RESOURCE_DIR) + "/" + stringName);
}

// The path of the log of the kind ("log" or "access") for the local day "YYYYMMDD", or today.
inline std::string Test_LogPath(const char *pcharExtension, const char *pcharDate = nullptr) {
    char charToday[16];
    if (pcharDate == nullptr) {
        struct tm structTime;
        long longMilliseconds;
        Platform_GetLocalTime(&structTime, &longMilliseconds);
        strftime(charToday, sizeof(charToday), "%Y%m%d", &structTime);
        pcharDate = charToday;
    }
    return Test_Folder() + "/" + pcharDate + "." + pcharExtension;
}
