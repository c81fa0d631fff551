// The server thread: it owns the listening socket, accepts one connection at a time, assembles each
// request, has the router answer it, and keeps or closes the connection by the kind of answer.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "log/log.h"
#include "platform/platform.h"
#include "server/server.h"

namespace {

constexpr long D_LONG_SERVER_LISTEN_BACKLOG = 1;
constexpr long D_LONG_SERVER_ACCEPT_WAIT_SECONDS = 1;
constexpr long D_LONG_SERVER_RECEIVE_WAIT_SECONDS = 60;
constexpr unsigned int D_UINT_SERVER_STRINGID_START_TITLE = 110;
constexpr unsigned int D_UINT_SERVER_STRINGID_START_TEXT = 111;
constexpr unsigned int D_UINT_SERVER_STRINGID_STOP_TITLE = 112;
constexpr unsigned int D_UINT_SERVER_STRINGID_STOP_TEXT = 113;
constexpr unsigned int D_UINT_SERVER_STRINGID_FAILED_TITLE = 130;
constexpr unsigned int D_UINT_SERVER_STRINGID_FAILED_TEXT = 131;
constexpr size_t D_SIZE_SERVER_BALLOON_TEXT = 256;

struct Server_Parameters {
    long longIpAddress[4];
    long longPortNumber;
};

// Per request: the bytes received so far (always followed by a zero byte) and what is known of them.
struct Server_Request {
    char charAccumulation[D_LONG_SERVER_REQUEST_BUFFER];
    long longReceived;
    long longHeaderLength;
    long longBodyLength;
};

Server_Parameters structServerParameters;
Server_BalloonSink pfnServerBalloonSink = nullptr;
std::thread threadServer;
std::atomic<long> atomiclongServerStop{0};

void Server_TraceSocketFailure(const char *pcharFunction, long longLine, const char *pcharCall,
                               unsigned long ulongError) {
    char charSystem[512];
    Platform_GetErrorText(ulongError, charSystem, sizeof(charSystem));
    Log_OutputTraceLogFormat(pcharFunction, longLine, "%s 異常終了(FormatMessage=%s)", pcharCall, charSystem);
}

// Tells the host that the server could not start listening, with the call that failed and why.
void Server_AnnounceFailure(const char *pcharCall, unsigned long ulongError) {
    char charSystem[D_SIZE_SERVER_BALLOON_TEXT];
    Platform_GetErrorText(ulongError, charSystem, sizeof(charSystem));
    char charReason[D_SIZE_SERVER_BALLOON_TEXT * 2];
    snprintf(charReason, sizeof(charReason), "%s: %s", pcharCall, charSystem);
    char charTitle[D_SIZE_SERVER_BALLOON_TEXT];
    char charFormat[D_SIZE_SERVER_BALLOON_TEXT];
    char charText[D_SIZE_SERVER_BALLOON_TEXT];
    Platform_LoadString(D_UINT_SERVER_STRINGID_FAILED_TITLE, charTitle, sizeof(charTitle));
    Platform_LoadString(D_UINT_SERVER_STRINGID_FAILED_TEXT, charFormat, sizeof(charFormat));
    snprintf(charText, sizeof(charText), charFormat, charReason);
    Server_BalloonMessage(D_LONG_SERVER_EVENT_FAILED, charTitle, charText);
}

void Server_AnnounceStart(const Server_Parameters &structParameters) {
    char charTitle[D_SIZE_SERVER_BALLOON_TEXT];
    char charFormat[D_SIZE_SERVER_BALLOON_TEXT];
    char charText[D_SIZE_SERVER_BALLOON_TEXT];
    Platform_LoadString(D_UINT_SERVER_STRINGID_START_TITLE, charTitle, sizeof(charTitle));
    Platform_LoadString(D_UINT_SERVER_STRINGID_START_TEXT, charFormat, sizeof(charFormat));
    snprintf(charText, sizeof(charText), charFormat, static_cast<int>(structParameters.longIpAddress[0]),
             static_cast<int>(structParameters.longIpAddress[1]), static_cast<int>(structParameters.longIpAddress[2]),
             static_cast<int>(structParameters.longIpAddress[3]), static_cast<int>(structParameters.longPortNumber));
    Log_OutputAccessLog(charText, D_LONG_LOG_ACCESSKIND_SERVER_START);
    Server_BalloonMessage(D_LONG_SERVER_EVENT_STARTED, charTitle, charText);
}

void Server_AnnounceStop(void) {
    char charTitle[D_SIZE_SERVER_BALLOON_TEXT];
    char charText[D_SIZE_SERVER_BALLOON_TEXT];
    Platform_LoadString(D_UINT_SERVER_STRINGID_STOP_TITLE, charTitle, sizeof(charTitle));
    Platform_LoadString(D_UINT_SERVER_STRINGID_STOP_TEXT, charText, sizeof(charText));
    Log_OutputAccessLog("", D_LONG_LOG_ACCESSKIND_SERVER_STOP);
    Server_BalloonMessage(D_LONG_SERVER_EVENT_STOPPED, charTitle, charText);
}

// Creates the listening socket, bound and listening. On failure it is closed, and the failed call and
// its error code are given back.
Platform_Socket Server_OpenListener(const Server_Parameters &structParameters, const char **ppcharFailedCall,
                                    unsigned long *pulongError) {
    Platform_Socket socketListen = Platform_SocketCreateTcp();
    if (socketListen == D_SOCKET_PLATFORM_INVALID) {
        *ppcharFailedCall = "socket";
        *pulongError = Platform_GetLastSocketError();
        return D_SOCKET_PLATFORM_INVALID;
    }
    char charAddress[64];
    snprintf(charAddress, sizeof(charAddress), "%ld.%ld.%ld.%ld", structParameters.longIpAddress[0],
             structParameters.longIpAddress[1], structParameters.longIpAddress[2], structParameters.longIpAddress[3]);
    const char *pcharFailedCall = nullptr;
    if (Platform_SocketBind(socketListen, charAddress, structParameters.longPortNumber) != 0) {
        pcharFailedCall = "bind";
    } else if (Platform_SocketListen(socketListen, D_LONG_SERVER_LISTEN_BACKLOG) != 0) {
        pcharFailedCall = "listen";
    }
    if (pcharFailedCall != nullptr) {
        *ppcharFailedCall = pcharFailedCall;
        *pulongError = Platform_GetLastSocketError();
        Platform_SocketClose(socketListen);
        return D_SOCKET_PLATFORM_INVALID;
    }
    return socketListen;
}

// The position of the first "\r\n\r\n" in the first longLength bytes, or -1.
long Server_FindHeaderEnd(const char *pcharBytes, long longLength) {
    for (long longIndex = 0; longIndex + 4 <= longLength; ++longIndex) {
        if (memcmp(pcharBytes + longIndex, "\r\n\r\n", 4) == 0) return longIndex;
    }
    return -1;
}

// The value of the last "Content-Length: " line of the request that carries a number, or 0.
long Server_ReadContentLength(const Server_Request &structRequest) {
    char charCopy[D_LONG_SERVER_REQUEST_BUFFER];
    memcpy(charCopy, structRequest.charAccumulation, sizeof(charCopy));
    for (long longIndex = 0; longIndex < structRequest.longReceived; ++longIndex) {
        if (charCopy[longIndex] == '\r' || charCopy[longIndex] == '\n') charCopy[longIndex] = '\0';
    }
    long longBodyLength = 0;
    for (long longIndex = 0; longIndex < structRequest.longReceived;) {
        const char *pcharLine = charCopy + longIndex;
        if (strncmp(pcharLine, "Content-Length: ", 16) == 0) {
            char *pcharEnd = nullptr;
            long long longlongValue = strtoll(pcharLine + 16, &pcharEnd, 10);
            if (pcharEnd != pcharLine + 16) {
                if (longlongValue > 0x7FFFFFFF) longlongValue = 0x7FFFFFFF;
                if (longlongValue < -0x7FFFFFFF) longlongValue = -0x7FFFFFFF;
                longBodyLength = static_cast<long>(longlongValue);
            }
        }
        longIndex += static_cast<long>(strlen(pcharLine)) + 1;
    }
    return longBodyLength;
}

// Whether the request holds its header and exactly the body that its Content-Length announces.
bool Server_RequestComplete(Server_Request *pstructRequest) {
    long longHeaderEnd = Server_FindHeaderEnd(pstructRequest->charAccumulation, pstructRequest->longReceived);
    if (longHeaderEnd < 0) {
        LOG_TRACE("HTTPヘッダ末尾(\\r\\n\\r\\n)未検出のため再受信");
        return false;
    }
    long long longlongExpected;
    if (pstructRequest->longHeaderLength == 0) {
        pstructRequest->longHeaderLength = longHeaderEnd + 4;
        LOG_TRACEF("受信データ長(%ld)、うちヘッダ長はおそらく(%ld)", pstructRequest->longReceived,
                   pstructRequest->longHeaderLength);
        pstructRequest->longBodyLength = Server_ReadContentLength(*pstructRequest);
        longlongExpected = static_cast<long long>(pstructRequest->longHeaderLength) + pstructRequest->longBodyLength;
        if (pstructRequest->longBodyLength <= 0 || pstructRequest->longReceived == longlongExpected) return true;
        LOG_TRACEF("未受信のボディ部が続くため再受信(Content-Length: %ld, 受信済み=%ld)", pstructRequest->longBodyLength,
                   pstructRequest->longReceived - pstructRequest->longHeaderLength);
        return false;
    }
    longlongExpected = static_cast<long long>(pstructRequest->longHeaderLength) + pstructRequest->longBodyLength;
    if (pstructRequest->longReceived == longlongExpected) return true;
    LOG_TRACEF("ボディ部読み込み続行のため再受信(Content-Length: %ld, 受信済み=%ld)", pstructRequest->longBodyLength,
               pstructRequest->longReceived - pstructRequest->longHeaderLength);
    return false;
}

// Receives until one request is complete. 0 when it is, -1 when the connection is to end.
int Server_ReceiveRequest(Platform_Socket socketClient, Server_Request *pstructRequest) {
    memset(pstructRequest, 0, sizeof(*pstructRequest));
    char charReceive[D_LONG_SERVER_REQUEST_BUFFER];
    for (;;) {
        if (Platform_SocketWaitReadable(socketClient, D_LONG_SERVER_RECEIVE_WAIT_SECONDS) == 0) {
            LOG_TRACE("select タイムアウト発生");
            return -1;
        }
        memset(charReceive, 0, sizeof(charReceive));
        long longReceived = Platform_SocketReceive(socketClient, charReceive, sizeof(charReceive));
        if (longReceived <= 0) {
            LOG_TRACE("recv エラーまたはクライアント側でのshutdown");
            return -1;
        }
        if (pstructRequest->longReceived + longReceived >= D_LONG_SERVER_REQUEST_BUFFER) {
            LOG_TRACEF("recv 受信データ長オーバ(%ld))", pstructRequest->longReceived + longReceived);
            return -1;
        }
        memcpy(pstructRequest->charAccumulation + pstructRequest->longReceived, charReceive,
               static_cast<size_t>(longReceived));
        pstructRequest->longReceived += longReceived;
        if (Server_RequestComplete(pstructRequest)) return 0;
    }
}

// Sends the whole response. 0, or -1 when a send failed.
int Server_SendResponse(Platform_Socket socketClient, const char *pcharResponse, long longLength) {
    long longSent = 0;
    while (longSent < longLength) {
        long longTaken = Platform_SocketSend(socketClient, pcharResponse + longSent, longLength - longSent);
        if (longTaken < 0) {
            LOG_TRACE("send エラー");
            LOG_TRACE("send エラーにより送信中断");
            return -1;
        }
        longSent += longTaken;
    }
    return 0;
}

// Answers requests on one connection until an answer closes it or the connection ends.
void Server_ServeConnection(Platform_Socket socketClient) {
    LOG_ENTER();
    Server_Request structRequest;
    for (;;) {
        if (Server_ReceiveRequest(socketClient, &structRequest) != 0) break;
        LOG_TRACEF("受信完了(ヘッダ長=%ld, ボディ長=%ld)", structRequest.longHeaderLength, structRequest.longBodyLength);
        LOG_TRACEF("リクエスト：%s)", structRequest.charAccumulation);

        char *pcharResponse = nullptr;
        long longResponseLength = 0;
        long longResponseKind = D_LONG_SERVER_RESPONSEKIND_BAD_REQUEST;
        LOG_TRACE("Server_CreateResponse 呼び出し");
        if (Server_CreateResponse(structRequest.charAccumulation, structRequest.longHeaderLength,
                                  structRequest.longBodyLength, &pcharResponse, &longResponseLength,
                                  &longResponseKind) != 0) {
            LOG_TRACE("Server_CreateResponse エラー");
            break;
        }
        int intSent = Server_SendResponse(socketClient, pcharResponse, longResponseLength);
        free(pcharResponse);
        if (intSent != 0) break;
        LOG_TRACE("送受信正常終了");
        if (longResponseKind == D_LONG_SERVER_RESPONSEKIND_BAD_REQUEST ||
            longResponseKind == D_LONG_SERVER_RESPONSEKIND_DOWNLOAD_PAGE) {
            break;
        }
    }
    LOG_LEAVE_OK();
}

// Waits for connections and serves them one at a time until the stop flag is set.
void Server_AcceptLoop(Platform_Socket socketListen) {
    for (;;) {
        int intReady = Platform_SocketWaitReadable(socketListen, D_LONG_SERVER_ACCEPT_WAIT_SECONDS);
        if (intReady < 0) {
            Server_TraceSocketFailure(__func__, __LINE__, "select", Platform_GetLastSocketError());
            return;
        }
        if (intReady > 0) {
            Platform_Socket socketClient = Platform_SocketAccept(socketListen);
            if (socketClient == D_SOCKET_PLATFORM_INVALID) {
                Server_TraceSocketFailure(__func__, __LINE__, "accept", Platform_GetLastSocketError());
                return;
            }
            Server_ServeConnection(socketClient);
            Platform_SocketShutdown(socketClient);
            Platform_SocketClose(socketClient);
        }
        if (atomiclongServerStop.load() != 0) return;
    }
}

int Server_AcceptThread(Server_Parameters structParameters) {
    LOG_ENTER();
    long longStartup = 0;
    if (Platform_SocketStartup(&longStartup) != 0) {
        char charSystem[512];
        Platform_GetErrorText(static_cast<unsigned long>(longStartup), charSystem, sizeof(charSystem));
        LOG_TRACEF("WSAStartup異常終了 (return=%ld, FormatMessage=%s)", longStartup, charSystem);
        Server_AnnounceFailure("WSAStartup", static_cast<unsigned long>(longStartup));
        LOG_LEAVE_NG();
        return -1;
    }
    const char *pcharFailedCall = nullptr;
    unsigned long ulongError = 0;
    Platform_Socket socketListen = Server_OpenListener(structParameters, &pcharFailedCall, &ulongError);
    if (socketListen == D_SOCKET_PLATFORM_INVALID) {
        Server_TraceSocketFailure(__func__, __LINE__, pcharFailedCall, ulongError);
        Server_AnnounceFailure(pcharFailedCall, ulongError);
        Platform_SocketCleanup();
        LOG_LEAVE_NG();
        return -1;
    }
    Server_AnnounceStart(structParameters);

    Server_AcceptLoop(socketListen);

    Platform_SocketClose(socketListen);
    if (Platform_SocketCleanup() != 0) {
        Server_TraceSocketFailure(__func__, __LINE__, "WSACleanup", Platform_GetLastSocketError());
    }
    Server_AnnounceStop();
    LOG_LEAVE_OK();
    return 0;
}

}  // namespace

int Server_StartServer(const long plongIpAddress[4], Server_BalloonSink pfnBalloonSink, long longPortNumber) {
    LOG_ENTER();
    if (threadServer.joinable()) {
        LOG_TRACE("サーバスレッド起動済み");
        LOG_LEAVE_NG();
        return -1;
    }
    for (int intIndex = 0; intIndex < 4; ++intIndex) structServerParameters.longIpAddress[intIndex] = plongIpAddress[intIndex];
    structServerParameters.longPortNumber = longPortNumber;
    pfnServerBalloonSink = pfnBalloonSink;
    atomiclongServerStop.store(0);
    try {
        threadServer = std::thread(Server_AcceptThread, structServerParameters);
    } catch (const std::system_error &errorThread) {
        LOG_TRACEF("std::thread 異常終了 (%s)", errorThread.what());
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

int Server_StopServer(void) {
    LOG_ENTER();
    if (!threadServer.joinable()) {
        LOG_TRACE("サーバスレッドなし");
        LOG_LEAVE_OK();
        return 0;
    }
    atomiclongServerStop.store(1);
    threadServer.join();
    LOG_LEAVE_OK();
    return 0;
}

int Server_BalloonMessage(long longEvent, const char *pcharTitle, const char *pcharText) {
    LOG_ENTER();
    if (pfnServerBalloonSink == nullptr) {
        LOG_LEAVE_NG();
        return -1;
    }
    pfnServerBalloonSink(longEvent, pcharTitle, pcharText);
    LOG_LEAVE_OK();
    return 0;
}
