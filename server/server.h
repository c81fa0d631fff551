// The built-in HTTP server: one server thread, one connection at a time, one request at a time.
#pragma once

#include <cstdint>

#include "config/config.h"
#include "crypt/crypt.h"

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

// Capacities of the fields of one listing line, terminating NUL included.
constexpr long D_LONG_SERVER_FILENAME_SIZE = 512;
constexpr long D_LONG_SERVER_FILETYPE_SIZE = 32;
constexpr long D_LONG_SERVER_FILESIZE_SIZE = 32;
constexpr long D_LONG_SERVER_UPDATETIME_SIZE = 21;
constexpr long D_LONG_SERVER_PATH_SIZE = 260;

// The largest piece of a file that "get" gives back, and the largest listing text: its envelope and the
// HTTP header in front of it (shorter than a request buffer) still fit the wire's signed 32-bit lengths.
constexpr long D_LONG_SERVER_MAX_FILE_PIECE =
    0x7FFFFFFFL - D_LONG_CRYRPT_HEADER_LENGTH - D_LONG_SERVER_REQUEST_BUFFER;

// One line of a listing: name, "<DIR>" or nothing, size in bytes or nothing, local last-write time or
// nothing, the path on this machine and the path in the published tree.
struct Server_FileListEntry {
    char charFileName[D_LONG_SERVER_FILENAME_SIZE];
    char charFileType[D_LONG_SERVER_FILETYPE_SIZE];
    char charFileSize[D_LONG_SERVER_FILESIZE_SIZE];
    char charUpdateTime[D_LONG_SERVER_UPDATETIME_SIZE];
    char charPhysicalPath[D_LONG_SERVER_PATH_SIZE];
    char charLogicalPath[D_LONG_SERVER_PATH_SIZE];
    Server_FileListEntry *pstructNext;
};

// How the paths of a file system are written: the separator, and whether Windows' naming rules apply
// (no ':' or '/' in a name, no reserved device names, no name ending with '.' or ' ').
struct Server_PathRules {
    char charSeparator;
    long longWindowsRules;
};

// The rules of the platform that the program runs on.
void Server_GetPlatformPathRules(Server_PathRules *pstructRules);

// Where a requested path lies in the published tree.
struct Server_PublishedPath {
    const Config_SharedFolder *pstructSharedFolder;          // the first shared folder that holds the path
    long longAtSharedFolder;                                 // 1 when the path is the shared folder itself
    char charShareName[D_LONG_SERVER_PATH_SIZE];             // the shared folder's name in the published tree
    char charJoinPath[D_LONG_SERVER_PATH_SIZE];              // the path that an entry's name is joined to
    char charLogicalPath[D_LONG_SERVER_PATH_SIZE];           // the path's logical path; ends with "/" at a share
    char charParentPhysicalPath[D_LONG_SERVER_PATH_SIZE];    // empty at a share
    char charParentLogicalPath[D_LONG_SERVER_PATH_SIZE];     // "/" at a share
};

// The publication test: a path lies in a shared folder when it is that folder (as written in the
// settings, or as its listing's address), or continues with a separator right after it, and every
// component after it is a plain name (not empty, ".", ".." or, under Windows' rules, a device or a name
// with ':' or '/'). The first shared folder in list order that holds the path decides. 0, or -1 when no
// shared folder holds the path or a derived path does not fit its field.
int Server_FindPublishedPath(const char *pcharPath, const Config_SharedFolder *pstructSharedFolderList,
                             const Server_PathRules *pstructRules, Server_PublishedPath *pstructPublished);

// The listing text of the published tree's root ("" or "/") or of a published folder, over the given
// shared-folder list. Both output places are first set to nullptr and 0; on 0 the caller owns
// *ppcharFileList (release with free; nullptr for an empty root listing), which holds the text and one
// uncounted NUL.
int Server_CreateFileList(const char *pcharPath, const Config_SharedFolder *pstructSharedFolderList,
                          char **ppcharFileList, long *plongFileListLength);

// A file from a byte offset to its end. The output places are written only on 0; the caller owns
// *ppucharFileData (release with free).
int Server_LoadFileData(const char *pcharFilePath, long longOffset, unsigned char **ppucharFileData,
                        long *plongFileDataLength);
