// Request routing: the download page, the descriptor, the archive (whole or a byte range), the command
// route, and 400 for everything else.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log/log.h"
#include "platform/platform.h"
#include "server/server.h"

namespace {

constexpr char D_CHARS_SERVER_BAD_REQUEST_BODY[] = "<HTML>400 Bad Request</HTML>\r\n";

constexpr char D_CHARS_SERVER_HEADER_PAGE[] =
    "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nConnection: close\r\n\r\n";
constexpr char D_CHARS_SERVER_HEADER_DESCRIPTOR[] =
    "HTTP/1.1 200 OK\r\nContent-Type: application/x-jam\r\nContent-Length: %ld\r\n\r\n";
constexpr char D_CHARS_SERVER_HEADER_ARCHIVE[] =
    "HTTP/1.1 200 OK\r\nContent-Type: application/java-archive\r\nContent-Length: %ld\r\n\r\n";
constexpr char D_CHARS_SERVER_HEADER_ARCHIVE_RANGE[] =
    "HTTP/1.1 206 Partial Content\r\nAccept-Ranges: bytes\r\nContent-Length: %ld\r\nContent-Range: bytes "
    "%ld-%ld/%ld\r\nContent-Type: application/java-archive\r\n\r\n";
constexpr char D_CHARS_SERVER_HEADER_ARCHIVE_UNSATISFIABLE[] =
    "HTTP/1.1 416 Range Not Satisfiable\r\nAccept-Ranges: bytes\r\nContent-Length: 0\r\nContent-Range: bytes "
    "*/%ld\r\n\r\n";
constexpr char D_CHARS_SERVER_HEADER_COMMAND[] =
    "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: %ld\r\n\r\n";
constexpr char D_CHARS_SERVER_HEADER_BAD_REQUEST[] =
    "HTTP/1.1 400 Bad Request\r\nContent-Type: text/xml; charset=utf-8\r\nConnection: close\r\n\r\n";

struct Server_Route {
    const char *pcharPrefix;
    long longKind;
};

// In the order in which they are tested; the first whose prefix the request begins with wins.
constexpr Server_Route structServerRoutes[] = {
    {"GET /download.html", D_LONG_SERVER_RESPONSEKIND_DOWNLOAD_PAGE},
    {"GET /Sorvane.jam", D_LONG_SERVER_RESPONSEKIND_DESCRIPTOR},
    {"GET /Sorvane.jar", D_LONG_SERVER_RESPONSEKIND_ARCHIVE},
    {"POST /ftp.cgi ", D_LONG_SERVER_RESPONSEKIND_COMMAND},
};

// The body of an answer: a piece of a resource, or a buffer of its own that is released once copied.
struct Server_Body {
    const unsigned char *pucharData;
    long longLength;
    unsigned char *pucharOwned;
};

// A byte range of the archive: what the Range line asks for, and what is served.
struct Server_Range {
    long longFirst;
    long longLast;
    bool boolGiven;
    bool boolUnsatisfiable;
};

long Server_Classify(const char *pcharRequest) {
    for (const Server_Route &structRoute : structServerRoutes) {
        if (strncmp(pcharRequest, structRoute.pcharPrefix, strlen(structRoute.pcharPrefix)) == 0) {
            return structRoute.longKind;
        }
    }
    return D_LONG_SERVER_RESPONSEKIND_BAD_REQUEST;
}

// Reads a run of decimal digits; true when there was at least one. Values beyond the 32-bit range
// stay at a value that is past the end of any resource.
bool Server_ReadDigits(const char **ppcharAt, long *plongValue) {
    const char *pcharAt = *ppcharAt;
    long long longlongValue = 0;
    while (*pcharAt >= '0' && *pcharAt <= '9') {
        if (longlongValue < 0x7FFFFFFF) longlongValue = longlongValue * 10 + (*pcharAt - '0');
        ++pcharAt;
    }
    if (pcharAt == *ppcharAt) return false;
    *plongValue = static_cast<long>(longlongValue < 0x7FFFFFFF ? longlongValue : 0x7FFFFFFF);
    *ppcharAt = pcharAt;
    return true;
}

// Finds the first line beginning with "Range: bytes" (lines split at every CR and LF, in place) and
// works out the bytes of an archive of longSize bytes to serve.
//   "bytes=F-L": F to L, L cut to the end;  "bytes=F-": F to the end;  "bytes=-N": the last N bytes;
//   F at or past the end (or N = 0): unsatisfiable;  "bytes=0-0", F > L or anything unreadable: the
//   whole archive.
Server_Range Server_ReadRange(char *pcharRequest, long longSize) {
    Server_Range structRange = {0, 0, false, false};
    size_t sizeText = strlen(pcharRequest);
    for (size_t sizeIndex = 0; sizeIndex < sizeText; ++sizeIndex) {
        if (pcharRequest[sizeIndex] == '\r' || pcharRequest[sizeIndex] == '\n') pcharRequest[sizeIndex] = '\0';
    }
    const char *pcharLine = nullptr;
    for (size_t sizeIndex = 0; sizeIndex < sizeText && pcharLine == nullptr;) {
        const char *pcharCandidate = pcharRequest + sizeIndex;
        if (strncmp(pcharCandidate, "Range: bytes", 12) == 0) pcharLine = pcharCandidate;
        sizeIndex += strlen(pcharCandidate) + 1;
    }
    if (pcharLine == nullptr) return structRange;
    LOG_TRACE("Range 指定あり");

    const char *pcharAt = pcharLine + 12;
    if (strncmp(pcharAt, "=", 1) != 0) return structRange;
    ++pcharAt;
    long longFirst = 0;
    long longLast = 0;
    if (*pcharAt == '-') {
        ++pcharAt;
        long longSuffix = 0;
        if (!Server_ReadDigits(&pcharAt, &longSuffix)) return structRange;
        structRange.boolGiven = true;
        structRange.boolUnsatisfiable = (longSuffix == 0);
        structRange.longFirst = longSuffix >= longSize ? 0 : longSize - longSuffix;
        structRange.longLast = longSize - 1;
        return structRange;
    }
    if (!Server_ReadDigits(&pcharAt, &longFirst) || *pcharAt != '-') return structRange;
    ++pcharAt;
    bool boolLast = Server_ReadDigits(&pcharAt, &longLast);
    if (boolLast && longFirst == 0 && longLast == 0) return structRange;
    if (boolLast && longFirst > longLast) return structRange;
    structRange.boolGiven = true;
    structRange.boolUnsatisfiable = (longFirst >= longSize);
    structRange.longFirst = longFirst;
    structRange.longLast = (!boolLast || longLast >= longSize) ? longSize - 1 : longLast;
    return structRange;
}

int Server_LoadBody(const char *pcharName, const char *pcharType, Server_Body *pstructBody) {
    const char *pcharFailedCall = "FindResource";
    if (Platform_LoadResource(pcharName, pcharType, &pstructBody->pucharData, &pstructBody->longLength,
                              &pcharFailedCall) != 0) {
        LOG_TRACEF("%s 異常終了", pcharFailedCall);
        return -1;
    }
    return 0;
}

// Works out the header and the body of the answer of the kind.
int Server_BuildAnswer(long longKind, char *pcharRequest, long longHeaderLength, long longBodyLength,
                       char *pcharHeader, size_t sizeHeader, Server_Body *pstructBody) {
    switch (longKind) {
    case D_LONG_SERVER_RESPONSEKIND_DOWNLOAD_PAGE:
        if (Server_LoadBody("#108", "#23", pstructBody) != 0) return -1;
        snprintf(pcharHeader, sizeHeader, "%s", D_CHARS_SERVER_HEADER_PAGE);
        return 0;
    case D_LONG_SERVER_RESPONSEKIND_DESCRIPTOR:
        if (Server_LoadBody("#109", "APPLI", pstructBody) != 0) return -1;
        snprintf(pcharHeader, sizeHeader, D_CHARS_SERVER_HEADER_DESCRIPTOR, pstructBody->longLength);
        return 0;
    case D_LONG_SERVER_RESPONSEKIND_ARCHIVE: {
        Log_OutputAccessLog(pcharRequest, D_LONG_LOG_ACCESSKIND_DOWNLOAD_APP);
        if (Server_LoadBody("#110", "APPLI", pstructBody) != 0) return -1;
        long longSize = pstructBody->longLength;
        Server_Range structRange = Server_ReadRange(pcharRequest, longSize);
        if (!structRange.boolGiven) {
            snprintf(pcharHeader, sizeHeader, D_CHARS_SERVER_HEADER_ARCHIVE, longSize);
        } else if (structRange.boolUnsatisfiable) {
            snprintf(pcharHeader, sizeHeader, D_CHARS_SERVER_HEADER_ARCHIVE_UNSATISFIABLE, longSize);
            pstructBody->longLength = 0;
        } else {
            long longLength = structRange.longLast - structRange.longFirst + 1;
            snprintf(pcharHeader, sizeHeader, D_CHARS_SERVER_HEADER_ARCHIVE_RANGE, longLength, structRange.longFirst,
                     structRange.longLast, longSize);
            pstructBody->pucharData += structRange.longFirst;
            pstructBody->longLength = longLength;
        }
        return 0;
    }
    case D_LONG_SERVER_RESPONSEKIND_COMMAND:
        LOG_TRACE("Server_PostProcess 呼び出し");
        if (Server_PostProcess(pcharRequest, longHeaderLength, longBodyLength, &pstructBody->pucharOwned,
                               &pstructBody->longLength) != 0) {
            LOG_TRACE("Server_PostProcess 異常終了");
            return -1;
        }
        pstructBody->pucharData = pstructBody->pucharOwned;
        snprintf(pcharHeader, sizeHeader, D_CHARS_SERVER_HEADER_COMMAND, pstructBody->longLength);
        return 0;
    default:
        Log_OutputAccessLog(pcharRequest, D_LONG_LOG_ACCESSKIND_INVALID_REQ);
        pstructBody->pucharData = reinterpret_cast<const unsigned char *>(D_CHARS_SERVER_BAD_REQUEST_BODY);
        pstructBody->longLength = static_cast<long>(sizeof(D_CHARS_SERVER_BAD_REQUEST_BODY) - 1);
        snprintf(pcharHeader, sizeHeader, "%s", D_CHARS_SERVER_HEADER_BAD_REQUEST);
        return 0;
    }
}

}  // namespace

int Server_CreateResponse(char *pcharRequest, long longHeaderLength, long longBodyLength, char **ppcharResponse,
                          long *plongResponseLength, long *plongResponseKind) {
    LOG_ENTER();
    long longKind = Server_Classify(pcharRequest);
    char charHeader[D_LONG_SERVER_REQUEST_BUFFER];
    Server_Body structBody = {nullptr, 0, nullptr};
    if (Server_BuildAnswer(longKind, pcharRequest, longHeaderLength, longBodyLength, charHeader, sizeof(charHeader),
                           &structBody) != 0) {
        LOG_LEAVE_NG();
        return -1;
    }

    long longHeader = static_cast<long>(strlen(charHeader));
    char *pcharResponse = static_cast<char *>(calloc(static_cast<size_t>(longHeader + structBody.longLength) + 1, 1));
    if (pcharResponse == nullptr) {
        LOG_TRACE("calloc 異常終了");
        free(structBody.pucharOwned);
        LOG_LEAVE_NG();
        return -1;
    }
    memcpy(pcharResponse, charHeader, static_cast<size_t>(longHeader));
    if (structBody.longLength > 0) {
        memcpy(pcharResponse + longHeader, structBody.pucharData, static_cast<size_t>(structBody.longLength));
    }
    free(structBody.pucharOwned);

    *ppcharResponse = pcharResponse;
    *plongResponseLength = longHeader + structBody.longLength;
    *plongResponseKind = longKind;
    LOG_TRACEF("レスポンス(ヘッダ)：%s, データ長(全体)：%ldバイト)", charHeader, *plongResponseLength);
    LOG_LEAVE_OK();
    return 0;
}
