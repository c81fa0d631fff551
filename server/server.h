// The built-in HTTP server: one server thread, one connection at a time, one request at a time.
#pragma once

#include <cstdint>

// Response kinds: they decide whether the connection stays open after the answer.
constexpr long D_LONG_SERVER_RESPONSEKIND_BAD_REQUEST = 0;
constexpr long D_LONG_SERVER_RESPONSEKIND_DOWNLOAD_PAGE = 1;
constexpr long D_LONG_SERVER_RESPONSEKIND_DESCRIPTOR = 2;
constexpr long D_LONG_SERVER_RESPONSEKIND_ARCHIVE = 3;
constexpr long D_LONG_SERVER_RESPONSEKIND_COMMAND = 4;

// One request: request line, header lines, blank line and body, followed by a zero byte.
constexpr long D_LONG_SERVER_REQUEST_BUFFER = 1024;

// What the server thread tells its host (the main window, or the console). Called on the server
// thread; the host hands it to its own thread. STARTED once the socket listens; FAILED when it cannot
// listen (the thread then ends); STOPPED when the thread ends after it had started.
constexpr long D_LONG_SERVER_EVENT_STARTED = 0;
constexpr long D_LONG_SERVER_EVENT_FAILED = 1;
constexpr long D_LONG_SERVER_EVENT_STOPPED = 2;
typedef void (*Server_BalloonSink)(long longEvent, const char *pcharTitle, const char *pcharText);

// Starts the server thread on the four octets of the address and the port. 0 when the thread was
// created (it reports through the sink whether it listens), -1 when it was not.
int Server_StartServer(const long plongIpAddress[4], Server_BalloonSink pfnBalloonSink, long longPortNumber);

// Asks the server thread to stop and waits until it has ended. Returns at once when there is none.
int Server_StopServer(void);

// Hands a balloon (title and text) with its event to the host's sink.
int Server_BalloonMessage(long longEvent, const char *pcharTitle, const char *pcharText);

// Turns one complete request into one complete answer. The request buffer may be changed. On 0 the
// caller owns *ppcharResponse (release with free).
int Server_CreateResponse(char *pcharRequest, long longHeaderLength, long longBodyLength, char **ppcharResponse,
                          long *plongResponseLength, long *plongResponseKind);

// Carries out a command posted to /ftp.cgi. On 0 the caller owns *ppucharBody (release with free).
int Server_PostProcess(char *pcharRequest, long longHeaderLength, long longBodyLength, unsigned char **ppucharBody,
                       long *plongBodyLength);
