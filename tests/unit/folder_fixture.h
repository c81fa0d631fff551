// Temporary folders and files for the tests of the listing, the file reading and the commands.
// The temporary folder's own path is ASCII, so it reads the same in CP932 and in the file system's
// UTF-8; names below it are written to the file system in UTF-8 (u8"..." literals).
#pragma once

#include <gtest/gtest.h>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/config.h"
#include "platform/platform.h"

inline std::string CreateTempFolder() {
    char charTemplate[] = "/tmp/sorvane-test-XXXXXX";
    EXPECT_NE(nullptr, mkdtemp(charTemplate));
    return charTemplate;
}

inline void RemoveTempFolder(const std::string &stringFolder) {
    nftw(
        stringFolder.c_str(),
        [](const char *pcharPath, const struct stat *, int, struct FTW *) { return remove(pcharPath); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

inline void MakeFolder(const std::string &stringPath) { ASSERT_EQ(0, mkdir(stringPath.c_str(), 0755)) << stringPath; }

// Writes the bytes, then sets the last-write time when one is given.
inline void WriteFile(const std::string &stringPath, const std::string &stringBytes, time_t timeLastWrite = 0) {
    FILE *pfileOut = fopen(stringPath.c_str(), "wb");
    ASSERT_NE(nullptr, pfileOut) << stringPath;
    ASSERT_EQ(stringBytes.size(), fwrite(stringBytes.data(), 1, stringBytes.size(), pfileOut));
    fclose(pfileOut);
    if (timeLastWrite != 0) {
        struct utimbuf structTimes = {timeLastWrite, timeLastWrite};
        ASSERT_EQ(0, utime(stringPath.c_str(), &structTimes));
    }
}

// A file of longlongSize bytes that takes no room on disk, with the tail bytes at its end.
inline void WriteSparseFile(const std::string &stringPath, long long longlongSize, const std::string &stringTail) {
    FILE *pfileOut = fopen(stringPath.c_str(), "wb");
    ASSERT_NE(nullptr, pfileOut) << stringPath;
    ASSERT_EQ(0, ftruncate(fileno(pfileOut), static_cast<off_t>(longlongSize)));
    ASSERT_EQ(0, fseeko(pfileOut, static_cast<off_t>(longlongSize - static_cast<long long>(stringTail.size())),
                        SEEK_SET));
    ASSERT_EQ(stringTail.size(), fwrite(stringTail.data(), 1, stringTail.size(), pfileOut));
    fclose(pfileOut);
}

// A shared-folder list of the paths (CP932), in order; release with Config_ReleaseSharedFolderList.
inline Config_SharedFolder *MakeFolderList(const std::vector<std::string> &vectorPaths) {
    Config_SharedFolder *pstructList = nullptr;
    for (const std::string &stringPath : vectorPaths) {
        EXPECT_EQ(0, Config_AppendSharedFolder(&pstructList, stringPath.c_str()));
    }
    return pstructList;
}

// Today's trace log ("log") or access log ("access") beside the test program, from a byte offset on.
inline std::string TodayLog(const char *pcharExtension, size_t sizeFrom = 0) {
    char charFolder[D_LONG_PLATFORM_MAX_PATH];
    EXPECT_EQ(0, Platform_GetExecutableFolder(charFolder, sizeof(charFolder)));
    struct tm structTime;
    long longMilliseconds;
    Platform_GetLocalTime(&structTime, &longMilliseconds);
    char charDate[16];
    strftime(charDate, sizeof(charDate), "%Y%m%d", &structTime);
    std::ifstream streamFile(std::string(charFolder) + "/" + charDate + "." + pcharExtension, std::ios::binary);
    streamFile.seekg(static_cast<std::streamoff>(sizeFrom));
    std::ostringstream streamText;
    streamText << streamFile.rdbuf();
    return streamText.str();
}

// The size of today's log of the kind, where the entries of a following call will begin.
inline size_t TodayLogSize(const char *pcharExtension) {
    char charFolder[D_LONG_PLATFORM_MAX_PATH];
    EXPECT_EQ(0, Platform_GetExecutableFolder(charFolder, sizeof(charFolder)));
    struct tm structTime;
    long longMilliseconds;
    Platform_GetLocalTime(&structTime, &longMilliseconds);
    char charDate[16];
    strftime(charDate, sizeof(charDate), "%Y%m%d", &structTime);
    struct stat structStat;
    std::string stringPath = std::string(charFolder) + "/" + charDate + "." + pcharExtension;
    return stat(stringPath.c_str(), &structStat) == 0 ? static_cast<size_t>(structStat.st_size) : 0;
}
