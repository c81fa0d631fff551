// Trace log and access log: one-line entries in one file of each kind per local day, beside the
// executable. Each entry is opened, appended, flushed and closed before the call returns.
#pragma once

#include <ctime>

constexpr long D_LONG_LOG_LEVEL_TRACE = 1;
constexpr long D_LONG_LOG_LEVEL_WARNING = 2;
constexpr long D_LONG_LOG_LEVEL_ERROR = 3;
constexpr long D_LONG_LOG_LEVEL_INFOMATION = 4;
constexpr long D_LONG_LOG_LEVEL_QUESTION = 5;

// Server start and stop; written only with the access log switched on, like every access entry.
constexpr long D_LONG_LOG_ACCESSKIND_SERVER_START = 0;
constexpr long D_LONG_LOG_ACCESSKIND_SERVER_STOP = 1;
constexpr long D_LONG_LOG_ACCESSKIND_INVALID_REQ = 10;
constexpr long D_LONG_LOG_ACCESSKIND_DOWNLOAD_APP = 11;
constexpr long D_LONG_LOG_ACCESSKIND_FILE_LIST = 12;
constexpr long D_LONG_LOG_ACCESSKIND_DOWNLOAD_FILE = 13;

// Bytes of one formatted entry, terminating NUL included.
constexpr long D_LONG_LOG_LINE_BUFFER = 1024;

// 1 enables the trace level; set once by the "DEBUG" option.
extern long longForceTraceFlag;

int Log_OutputTraceLog(const char *pcharFunctionName, const char *pcharMessage, long longLevel, long longLine);
int Log_OutputAccessLog(const char *pcharText, long longKind);

// The access-log switch of the settings (ENABLE_ACCESSLOG); on until the settings say otherwise.
void Log_SetAccessLogEnabled(long longEnabled);

// The clock that stamps entries and picks the day's file; tests put a fixed one in its place.
typedef int (*Log_ClockFunction)(struct tm *pstructTime, long *plongMilliseconds);
void Log_SetClock(Log_ClockFunction pfnClock);

// Trace shorthands for the calling function's own name and line.
#define LOG_TRACE(message) Log_OutputTraceLog(__func__, (message), D_LONG_LOG_LEVEL_TRACE, __LINE__)
#define LOG_ENTER() LOG_TRACE("処理開始")
#define LOG_LEAVE_OK() LOG_TRACE("正常終了")
#define LOG_LEAVE_NG() LOG_TRACE("異常終了")

// Formats a trace-level message (bounded to one line buffer) and writes it; nothing is formatted while
// the trace flag is off.
int Log_OutputTraceLogFormat(const char *pcharFunctionName, long longLine, const char *pcharFormat, ...)
    __attribute__((format(printf, 3, 4)));
#define LOG_TRACEF(...) Log_OutputTraceLogFormat(__func__, __LINE__, __VA_ARGS__)
