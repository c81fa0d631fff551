// The small layer under the portable core: what the core needs of the system, named for that need.
// Every narrow text that crosses this layer is CP932; the POSIX implementation converts to and from
// the file system's and the terminal's encoding where it has to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

// Longest path that the program handles, terminating NUL included.
constexpr long D_LONG_PLATFORM_MAX_PATH = 260;

// The platform's path separator: '\' on Windows, '/' on POSIX.
extern const char D_CHAR_PLATFORM_PATH_SEPARATOR;

// The folder of the running executable, without a trailing separator. 0, or -1 when it cannot be had
// or does not fit sizeFolder bytes.
int Platform_GetExecutableFolder(char *pcharFolder, size_t sizeFolder);

// The local broken-down time of now and the milliseconds of the same clock reading.
int Platform_GetLocalTime(struct tm *pstructTime, long *plongMilliseconds);

// Opens a file by a CP932 path with fopen's modes. nullptr on failure.
FILE *Platform_OpenFile(const char *pcharPath, const char *pcharMode);

// Deletes a file by a CP932 path. 0 or -1.
int Platform_DeleteFile(const char *pcharPath);

// The last error of the calling thread's system calls, and of its socket calls.
unsigned long Platform_GetLastError(void);
unsigned long Platform_GetLastSocketError(void);

// The system's text for an error code, line breaks included, or "< メッセージ取得失敗 >" when there is none.
void Platform_GetErrorText(unsigned long ulongCode, char *pcharText, size_t sizeText);

// TCP sockets. One listening socket and its client sockets; every call is blocking.
typedef std::intptr_t Platform_Socket;
extern const Platform_Socket D_SOCKET_PLATFORM_INVALID;

// Readies the socket layer for the calling thread (WSAStartup 2.0 on Windows). 0, or -1 with the code.
int Platform_SocketStartup(long *plongResult);
int Platform_SocketCleanup(void);
Platform_Socket Platform_SocketCreateTcp(void);
// Binds to an IPv4 address given as dotted text and a port. 0 or -1.
int Platform_SocketBind(Platform_Socket socketListen, const char *pcharAddress, long longPort);
int Platform_SocketListen(Platform_Socket socketListen, long longBacklog);
// Waits until the socket is readable: 1 ready, 0 time-out, -1 error.
int Platform_SocketWaitReadable(Platform_Socket socketTarget, long longSeconds);
Platform_Socket Platform_SocketAccept(Platform_Socket socketListen);
// recv/send: bytes moved, 0 when the peer closed (recv only), -1 on error.
long Platform_SocketReceive(Platform_Socket socketClient, char *pcharBuffer, long longLength);
long Platform_SocketSend(Platform_Socket socketClient, const char *pcharBuffer, long longLength);
void Platform_SocketShutdown(Platform_Socket socketClient);
void Platform_SocketClose(Platform_Socket socketTarget);

// The client's side: connects to a host, given by name or as dotted IPv4 text, and port. 0 with the
// connected socket in *psocketConnected, or -1 when the name cannot be resolved or nothing accepts there.
int Platform_SocketConnect(const char *pcharHost, long longPort, Platform_Socket *psocketConnected);

// Console programs. Whether the stream is a terminal (a console window on Windows): 1 or 0.
int Platform_StreamIsTerminal(FILE *pfileStream);
// Writes a CP932 text to the stream in the terminal's encoding (unchanged on Windows, whose console
// takes the ANSI code page; UTF-8 on POSIX under the plain C locale); what the terminal cannot show is
// approximated.
void Platform_WriteText(FILE *pfileStream, const char *pcharText);
// Converts a text that came from the terminal (an argument, an environment variable) into CP932; on
// Windows they are in the ANSI code page already and are copied. 0, or -1 when it cannot be converted
// whole or does not fit sizeOut bytes with its NUL.
int Platform_TerminalTextToText(const char *pcharTerminalText, char *pcharOut, size_t sizeOut);

// A resource of the executable, by name and type in FindResource's form ("#108", "#23" for RT_HTML,
// "APPLI"). The bytes stay valid while the program runs. On failure -1, with the name of the step that
// failed ("FindResource", "SizeofResource" or "LoadResource") in *ppcharFailedCall.
int Platform_LoadResource(const char *pcharName, const char *pcharType, const unsigned char **ppucharData,
                          long *plongSize, const char **ppcharFailedCall);

// A string-table text by number, cut to sizeBuffer. 0, or -1 when there is no such text.
int Platform_LoadString(unsigned int uintId, char *pcharBuffer, size_t sizeBuffer);

// The icons of a message box; on POSIX the notice is one line on standard error either way.
constexpr long D_LONG_PLATFORM_NOTICE_INFORMATION = 1;
constexpr long D_LONG_PLATFORM_NOTICE_ERROR = 2;
// Tells the user something and waits until it is acknowledged: a message box with the icon on Windows
// (no owner, topmost, system modal), one line on standard error on POSIX, where nothing waits.
void Platform_ShowMessage(const char *pcharCaption, const char *pcharText, long longIcon);

// 0 when something (a file or a folder) exists at the CP932 path, -1 when nothing does.
int Platform_FindFile(const char *pcharPath);

// Private-profile (ini) files, with Windows' semantics on every platform: section and key names match
// without regard to ASCII case; values lose their surrounding blanks and a pair of matching quotes; a
// missing file, section or key gives the default (without its trailing spaces). Copies at most
// sizeOut - 1 bytes, whole characters, and a NUL; returns the bytes copied, or sizeOut - 1 when the
// value did not fit.
long Platform_GetPrivateProfileString(const char *pcharSection, const char *pcharKey, const char *pcharDefault,
                                      char *pcharOut, size_t sizeOut, const char *pcharPath);
// Sets one key's value, creating the file, the section or the key where missing; every other line of
// the file stays as it was. 0, or -1 when the file cannot be read or written.
int Platform_WritePrivateProfileString(const char *pcharSection, const char *pcharKey, const char *pcharValue,
                                       const char *pcharPath);

// 1 where paths follow Windows' naming rules (a drive's ':' and the reserved device names such as CON
// or LPT1, and '/' read as a separator too), 0 elsewhere.
extern const long D_LONG_PLATFORM_WINDOWS_PATH_RULES;

// What the listing and the file reading need to know of one file or folder.
struct Platform_FileStatus {
    long long longlongSize;     // bytes; 0 for a folder
    long longDirectory;         // 1 for a folder, 0 otherwise
    struct tm structLastWrite;  // last-write time in local time (tm_year counts from 1900, tm_mon from 0)
};

// The status of whatever is at the CP932 path. 0, or -1 with the system's error code kept for
// Platform_GetLastError.
int Platform_GetFileStatus(const char *pcharPath, Platform_FileStatus *pstructStatus);

// Called for every entry of a folder, "." and ".." included, in the order in which the file system hands
// them out, with the entry's CP932 name. 0 goes on, -1 stops the enumeration.
typedef int (*Platform_FolderEntryFunction)(const char *pcharName, const Platform_FileStatus *pstructStatus,
                                            void *pvoidContext);

// Enumerates the folder at the CP932 path (which may end with a separator). 0 when the enumeration ran,
// also when the callback stopped it; -1 when it could not start (missing, not a folder, no access, a path
// too long), with the system's error code kept for Platform_GetLastError. Entries whose names cannot be
// written in CP932 are left out.
int Platform_EnumerateFolder(const char *pcharFolder, Platform_FolderEntryFunction pfnEntry, void *pvoidContext);

// Moves a stream of Platform_OpenFile to a byte offset from the start, beyond 2 GiB too. 0 or -1.
int Platform_SeekFile(FILE *pfileTarget, long long longlongOffset);
