#include "log/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/platform.h"
#include "text/text.h"

long longForceTraceFlag = 0;

namespace {

struct Log_Writer {
    std::mutex mutexWriter;
    char charLine[D_LONG_LOG_LINE_BUFFER];
};

Log_Writer structTraceWriter;
Log_Writer structAccessWriter;
std::atomic<long> atomiclongAccessLogEnabled{1};
std::atomic<Log_ClockFunction> atomicpfnClock{Platform_GetLocalTime};

const char *Log_LevelLabel(long longLevel) {
    switch (longLevel) {
    case D_LONG_LOG_LEVEL_TRACE:
    case D_LONG_LOG_LEVEL_WARNING: return "[WARNING]   ";
    case D_LONG_LOG_LEVEL_ERROR: return "[ERROR]     ";
    case D_LONG_LOG_LEVEL_INFOMATION: return "[INFOMATION]";
    case D_LONG_LOG_LEVEL_QUESTION: return "[QUESTION]  ";
    default: return nullptr;
    }
}

const char *Log_KindLabel(long longKind) {
    switch (longKind) {
    case D_LONG_LOG_ACCESSKIND_SERVER_START: return "[SERVER START]  ";
    case D_LONG_LOG_ACCESSKIND_SERVER_STOP: return "[SERVER STOP]   ";
    case D_LONG_LOG_ACCESSKIND_INVALID_REQ: return "[INVALID REQ]   ";
    case D_LONG_LOG_ACCESSKIND_DOWNLOAD_APP: return "[DOWNLOAD APP]  ";
    case D_LONG_LOG_ACCESSKIND_FILE_LIST: return "[FILE LIST]     ";
    case D_LONG_LOG_ACCESSKIND_DOWNLOAD_FILE: return "[DOWNLOAD FILE] ";
    default: return nullptr;
    }
}

// Puts the time stamp into the entry's first fields: "%Y/%m/%d %H:%M:%S".
void Log_FormatStamp(const struct tm &structTime, char *pcharStamp, size_t sizeStamp) {
    if (strftime(pcharStamp, sizeStamp, "%Y/%m/%d %H:%M:%S", &structTime) == 0) pcharStamp[0] = '\0';
}

// Writes the formatted entry of pstructWriter to the day's file with the extension; the caller holds
// the writer's lock.
int Log_WriteEntry(Log_Writer *pstructWriter, long longFormatted, const struct tm &structTime,
                   const char *pcharExtension) {
    long longLength = longFormatted;
    if (longLength >= D_LONG_LOG_LINE_BUFFER) {
        longLength = static_cast<long>(Text_WholeCharacters(pstructWriter->charLine, D_LONG_LOG_LINE_BUFFER - 1));
    }
    for (long longIndex = 0; longIndex < longLength; ++longIndex) {
        char &charByte = pstructWriter->charLine[longIndex];
        if (charByte == '\r' || charByte == '\n') charByte = ' ';
    }

    char charFolder[D_LONG_PLATFORM_MAX_PATH];
    if (Platform_GetExecutableFolder(charFolder, sizeof(charFolder)) != 0) return -1;
    char charDate[16];
    if (strftime(charDate, sizeof(charDate), "%Y%m%d", &structTime) == 0) return -1;
    char charPath[D_LONG_PLATFORM_MAX_PATH];
    int intPath = snprintf(charPath, sizeof(charPath), "%s%c%s.%s", charFolder, D_CHAR_PLATFORM_PATH_SEPARATOR,
                           charDate, pcharExtension);
    if (intPath < 0 || intPath >= static_cast<int>(sizeof(charPath))) return -1;

    FILE *pfileLog = Platform_OpenFile(charPath, "ab");
    if (pfileLog == nullptr) return -1;
    fwrite(pstructWriter->charLine, 1, static_cast<size_t>(longLength), pfileLog);
    fwrite("\r\n", 1, 2, pfileLog);
    fflush(pfileLog);
    fclose(pfileLog);
    return 0;
}

}  // namespace

int Log_OutputTraceLog(const char *pcharFunctionName, const char *pcharMessage, long longLevel, long longLine) {
    std::lock_guard<std::mutex> lockWriter(structTraceWriter.mutexWriter);
    const char *pcharLabel = Log_LevelLabel(longLevel);
    if (pcharLabel == nullptr) return -1;
    if (longLevel == D_LONG_LOG_LEVEL_TRACE && longForceTraceFlag != 1) return 0;

    struct tm structTime {};
    long longMilliseconds = 0;
    if (atomicpfnClock.load()(&structTime, &longMilliseconds) != 0) return -1;
    char charStamp[32];
    Log_FormatStamp(structTime, charStamp, sizeof(charStamp));
    int intFormatted = snprintf(structTraceWriter.charLine, sizeof(structTraceWriter.charLine),
                                "%s.%03ld: %s %-32s(line=%04ld)\t\t- %s\n", charStamp, longMilliseconds, pcharLabel,
                                pcharFunctionName != nullptr ? pcharFunctionName : "",
                                longLine, pcharMessage != nullptr ? pcharMessage : "");
    if (intFormatted < 0) return -1;
    return Log_WriteEntry(&structTraceWriter, intFormatted, structTime, "log");
}

int Log_OutputAccessLog(const char *pcharText, long longKind) {
    std::lock_guard<std::mutex> lockWriter(structAccessWriter.mutexWriter);
    const char *pcharLabel = Log_KindLabel(longKind);
    if (pcharLabel == nullptr) return -1;
    if (atomiclongAccessLogEnabled.load() == 0) return 0;

    struct tm structTime {};
    long longMilliseconds = 0;
    if (atomicpfnClock.load()(&structTime, &longMilliseconds) != 0) return -1;
    char charStamp[32];
    Log_FormatStamp(structTime, charStamp, sizeof(charStamp));
    int intFormatted = snprintf(structAccessWriter.charLine, sizeof(structAccessWriter.charLine), "%s.%03ld: %s %s\n",
                                charStamp, longMilliseconds, pcharLabel, pcharText != nullptr ? pcharText : "");
    if (intFormatted < 0) return -1;
    return Log_WriteEntry(&structAccessWriter, intFormatted, structTime, "access");
}

int Log_OutputTraceLogFormat(const char *pcharFunctionName, long longLine, const char *pcharFormat, ...) {
    if (longForceTraceFlag != 1) return 0;
    char charMessage[D_LONG_LOG_LINE_BUFFER];
    va_list valistArguments;
    va_start(valistArguments, pcharFormat);
    vsnprintf(charMessage, sizeof(charMessage), pcharFormat, valistArguments);
    va_end(valistArguments);
    return Log_OutputTraceLog(pcharFunctionName, charMessage, D_LONG_LOG_LEVEL_TRACE, longLine);
}

void Log_SetAccessLogEnabled(long longEnabled) { atomiclongAccessLogEnabled.store(longEnabled != 0 ? 1 : 0); }

void Log_SetClock(Log_ClockFunction pfnClock) {
    atomicpfnClock.store(pfnClock != nullptr ? pfnClock : Platform_GetLocalTime);
}
