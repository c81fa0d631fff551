// POSIX implementation: plays the part of Win32's ANSI calls, converting between CP932 inside the
// program and the file system's and terminal's encoding outside it.
#include "platform/platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <iconv.h>
#include <langinfo.h>
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/embedded.h"
#include "platform/platform_posix.h"
#include "text/text.h"

const char D_CHAR_PLATFORM_PATH_SEPARATOR = '/';
const Platform_Socket D_SOCKET_PLATFORM_INVALID = -1;

namespace {

thread_local unsigned long ulongLastError = 0;
thread_local unsigned long ulongLastSocketError = 0;

// Converts a text between encodings; false when it cannot be converted whole.
bool Platform_Convert(const char *pcharTo, const char *pcharFrom, const char *pcharText, std::string *pstringOut) {
    iconv_t iconvHandle = iconv_open(pcharTo, pcharFrom);
    if (iconvHandle == reinterpret_cast<iconv_t>(-1)) return false;
    std::string stringIn(pcharText);
    std::string stringOut(stringIn.size() * 4 + 4, '\0');
    char *pcharIn = stringIn.data();
    size_t sizeIn = stringIn.size();
    char *pcharOut = stringOut.data();
    size_t sizeOut = stringOut.size();
    size_t sizeResult = iconv(iconvHandle, &pcharIn, &sizeIn, &pcharOut, &sizeOut);
    iconv_close(iconvHandle);
    if (sizeResult == static_cast<size_t>(-1)) return false;
    stringOut.resize(stringOut.size() - sizeOut);
    *pstringOut = stringOut;
    return true;
}

const char *Platform_FileSystemEncoding() { return "UTF-8"; }

const char *Platform_TerminalEncoding() {
    const char *pcharCodeset = nl_langinfo(CODESET);
    return (pcharCodeset != nullptr && pcharCodeset[0] != '\0') ? pcharCodeset : "UTF-8";
}

}  // namespace

bool Platform_ToFileSystemPath(const char *pcharPath, std::string *pstringPath) {
    return Platform_Convert(Platform_FileSystemEncoding(), "CP932", pcharPath, pstringPath);
}

int Platform_GetExecutableFolder(char *pcharFolder, size_t sizeFolder) {
    char charPath[4096];
    ssize_t ssizeLength = readlink("/proc/self/exe", charPath, sizeof(charPath) - 1);
    if (ssizeLength <= 0) return -1;
    charPath[ssizeLength] = '\0';
    char *pcharSlash = strrchr(charPath, '/');
    if (pcharSlash == nullptr) return -1;
    *pcharSlash = '\0';
    std::string stringFolder;
    if (!Platform_Convert("CP932", Platform_FileSystemEncoding(), charPath, &stringFolder)) return -1;
    if (stringFolder.size() + 1 > sizeFolder) return -1;
    memcpy(pcharFolder, stringFolder.c_str(), stringFolder.size() + 1);
    return 0;
}

int Platform_GetLocalTime(struct tm *pstructTime, long *plongMilliseconds) {
    auto timepointNow = std::chrono::system_clock::now();
    auto durationSinceEpoch = timepointNow.time_since_epoch();
    time_t timeNow = static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(durationSinceEpoch).count());
    if (localtime_r(&timeNow, pstructTime) == nullptr) return -1;
    *plongMilliseconds =
        static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(durationSinceEpoch).count() % 1000);
    return 0;
}

FILE *Platform_OpenFile(const char *pcharPath, const char *pcharMode) {
    std::string stringPath;
    if (!Platform_Convert(Platform_FileSystemEncoding(), "CP932", pcharPath, &stringPath)) {
        ulongLastError = EILSEQ;
        return nullptr;
    }
    FILE *pfileOpened = fopen(stringPath.c_str(), pcharMode);
    if (pfileOpened == nullptr) ulongLastError = static_cast<unsigned long>(errno);
    return pfileOpened;
}

int Platform_DeleteFile(const char *pcharPath) {
    std::string stringPath;
    if (!Platform_Convert(Platform_FileSystemEncoding(), "CP932", pcharPath, &stringPath)) {
        ulongLastError = EILSEQ;
        return -1;
    }
    if (unlink(stringPath.c_str()) != 0) {
        ulongLastError = static_cast<unsigned long>(errno);
        return -1;
    }
    return 0;
}

unsigned long Platform_GetLastError(void) { return ulongLastError; }
unsigned long Platform_GetLastSocketError(void) { return ulongLastSocketError; }

void Platform_GetErrorText(unsigned long ulongCode, char *pcharText, size_t sizeText) {
    if (sizeText == 0) return;
    char charSystem[256];
    const char *pcharSystem = strerror_r(static_cast<int>(ulongCode), charSystem, sizeof(charSystem));
    std::string stringText;
    if (pcharSystem == nullptr || !Platform_Convert("CP932//TRANSLIT", "UTF-8", pcharSystem, &stringText)) {
        stringText = "< メッセージ取得失敗 >";
    }
    snprintf(pcharText, sizeText, "%s", stringText.c_str());
}

int Platform_SocketStartup(long *plongResult) {
    *plongResult = 0;
    return 0;
}

int Platform_SocketCleanup(void) { return 0; }

Platform_Socket Platform_SocketCreateTcp(void) {
    int intSocket = socket(AF_INET, SOCK_STREAM, 0);
    if (intSocket < 0) {
        ulongLastSocketError = static_cast<unsigned long>(errno);
        return D_SOCKET_PLATFORM_INVALID;
    }
    return intSocket;
}

int Platform_SocketBind(Platform_Socket socketListen, const char *pcharAddress, long longPort) {
    struct sockaddr_in structAddress;
    memset(&structAddress, 0, sizeof(structAddress));
    structAddress.sin_family = AF_INET;
    structAddress.sin_port = htons(static_cast<uint16_t>(longPort));
    structAddress.sin_addr.s_addr = inet_addr(pcharAddress);
    // Like Windows, a socket in TIME_WAIT does not keep its port from a new server.
    int intReuse = 1;
    setsockopt(static_cast<int>(socketListen), SOL_SOCKET, SO_REUSEADDR, &intReuse, sizeof(intReuse));
    if (bind(static_cast<int>(socketListen), reinterpret_cast<struct sockaddr *>(&structAddress),
             sizeof(structAddress)) != 0) {
        ulongLastSocketError = static_cast<unsigned long>(errno);
        return -1;
    }
    return 0;
}

int Platform_SocketListen(Platform_Socket socketListen, long longBacklog) {
    if (listen(static_cast<int>(socketListen), static_cast<int>(longBacklog)) != 0) {
        ulongLastSocketError = static_cast<unsigned long>(errno);
        return -1;
    }
    return 0;
}

int Platform_SocketWaitReadable(Platform_Socket socketTarget, long longSeconds) {
    int intSocket = static_cast<int>(socketTarget);
    if (intSocket < 0 || intSocket >= FD_SETSIZE) {
        ulongLastSocketError = EBADF;
        return -1;
    }
    fd_set fdsetRead;
    FD_ZERO(&fdsetRead);
    FD_SET(intSocket, &fdsetRead);
    struct timeval structTimeout;
    structTimeout.tv_sec = longSeconds;
    structTimeout.tv_usec = 0;
    int intResult;
    do {
        intResult = select(intSocket + 1, &fdsetRead, nullptr, nullptr, &structTimeout);
    } while (intResult < 0 && errno == EINTR);
    if (intResult < 0) {
        ulongLastSocketError = static_cast<unsigned long>(errno);
        return -1;
    }
    return (intResult > 0 && FD_ISSET(intSocket, &fdsetRead)) ? 1 : 0;
}

Platform_Socket Platform_SocketAccept(Platform_Socket socketListen) {
    struct sockaddr_in structPeer;
    socklen_t socklenPeer = sizeof(structPeer);
    int intClient;
    do {
        intClient = accept(static_cast<int>(socketListen), reinterpret_cast<struct sockaddr *>(&structPeer),
                           &socklenPeer);
    } while (intClient < 0 && errno == EINTR);
    if (intClient < 0) {
        ulongLastSocketError = static_cast<unsigned long>(errno);
        return D_SOCKET_PLATFORM_INVALID;
    }
    return intClient;
}

long Platform_SocketReceive(Platform_Socket socketClient, char *pcharBuffer, long longLength) {
    ssize_t ssizeReceived;
    do {
        ssizeReceived = recv(static_cast<int>(socketClient), pcharBuffer, static_cast<size_t>(longLength), 0);
    } while (ssizeReceived < 0 && errno == EINTR);
    if (ssizeReceived < 0) {
        ulongLastSocketError = static_cast<unsigned long>(errno);
        return -1;
    }
    return static_cast<long>(ssizeReceived);
}

long Platform_SocketSend(Platform_Socket socketClient, const char *pcharBuffer, long longLength) {
    ssize_t ssizeSent;
    do {
        ssizeSent = send(static_cast<int>(socketClient), pcharBuffer, static_cast<size_t>(longLength), MSG_NOSIGNAL);
    } while (ssizeSent < 0 && errno == EINTR);
    if (ssizeSent < 0) {
        ulongLastSocketError = static_cast<unsigned long>(errno);
        return -1;
    }
    return static_cast<long>(ssizeSent);
}

void Platform_SocketShutdown(Platform_Socket socketClient) { shutdown(static_cast<int>(socketClient), SHUT_RDWR); }

void Platform_SocketClose(Platform_Socket socketTarget) { close(static_cast<int>(socketTarget)); }

int Platform_SocketConnect(const char *pcharHost, long longPort, Platform_Socket *psocketConnected) {
    struct addrinfo structHints;
    memset(&structHints, 0, sizeof(structHints));
    structHints.ai_family = AF_INET;
    structHints.ai_socktype = SOCK_STREAM;
    char charPort[16];
    snprintf(charPort, sizeof(charPort), "%ld", longPort);
    struct addrinfo *pstructFound = nullptr;
    int intResolved = getaddrinfo(pcharHost, charPort, &structHints, &pstructFound);
    if (intResolved != 0) {
        ulongLastSocketError = intResolved == EAI_SYSTEM ? static_cast<unsigned long>(errno) : EHOSTUNREACH;
        return -1;
    }
    int intConnected = -1;
    for (struct addrinfo *pstructAddress = pstructFound; pstructAddress != nullptr && intConnected < 0;
         pstructAddress = pstructAddress->ai_next) {
        int intSocket = socket(pstructAddress->ai_family, pstructAddress->ai_socktype | SOCK_CLOEXEC,
                               pstructAddress->ai_protocol);
        if (intSocket < 0) {
            ulongLastSocketError = static_cast<unsigned long>(errno);
            continue;
        }
        int intResult;
        do {
            intResult = connect(intSocket, pstructAddress->ai_addr, pstructAddress->ai_addrlen);
        } while (intResult != 0 && errno == EINTR);
        if (intResult != 0) {
            ulongLastSocketError = static_cast<unsigned long>(errno);
            close(intSocket);
            continue;
        }
        intConnected = intSocket;
    }
    freeaddrinfo(pstructFound);
    if (intConnected < 0) return -1;
    *psocketConnected = intConnected;
    return 0;
}

namespace {

// The encoding of a console program's arguments and output. The plain C locale names ASCII, but the
// terminals and file names of this system are UTF-8 (of which ASCII is a part): taking UTF-8 there
// lets a name outside ASCII still be typed and shown.
const char *Platform_ConsoleEncoding() {
    const char *pcharCodeset = Platform_TerminalEncoding();
    return strcmp(pcharCodeset, "ANSI_X3.4-1968") == 0 ? "UTF-8" : pcharCodeset;
}

}  // namespace

int Platform_StreamIsTerminal(FILE *pfileStream) { return isatty(fileno(pfileStream)) ? 1 : 0; }

void Platform_WriteText(FILE *pfileStream, const char *pcharText) {
    std::string stringTerminal;
    std::string stringTarget = std::string(Platform_ConsoleEncoding()) + "//TRANSLIT";
    if (!Platform_Convert(stringTarget.c_str(), "CP932", pcharText, &stringTerminal)) stringTerminal = pcharText;
    fputs(stringTerminal.c_str(), pfileStream);
}

int Platform_TerminalTextToText(const char *pcharTerminalText, char *pcharOut, size_t sizeOut) {
    std::string stringText;
    if (!Platform_Convert("CP932", Platform_ConsoleEncoding(), pcharTerminalText, &stringText)) return -1;
    if (stringText.size() + 1 > sizeOut) return -1;
    memcpy(pcharOut, stringText.c_str(), stringText.size() + 1);
    return 0;
}

int Platform_LoadResource(const char *pcharName, const char *pcharType, const unsigned char **ppucharData,
                          long *plongSize, const char **ppcharFailedCall) {
    for (size_t sizeIndex = 0; sizeIndex < sizePlatformEmbeddedResources; ++sizeIndex) {
        const Platform_EmbeddedResource &structResource = structPlatformEmbeddedResources[sizeIndex];
        if (strcmp(structResource.pcharName, pcharName) != 0 || strcmp(structResource.pcharType, pcharType) != 0) {
            continue;
        }
        if (structResource.longSize <= 0) {
            *ppcharFailedCall = "SizeofResource";
            return -1;
        }
        *ppucharData = structResource.pucharData;
        *plongSize = structResource.longSize;
        return 0;
    }
    *ppcharFailedCall = "FindResource";
    return -1;
}

int Platform_LoadString(unsigned int uintId, char *pcharBuffer, size_t sizeBuffer) {
    for (size_t sizeIndex = 0; sizeIndex < sizePlatformEmbeddedStrings; ++sizeIndex) {
        if (structPlatformEmbeddedStrings[sizeIndex].uintId != uintId) continue;
        if (sizeBuffer == 0) return -1;
        const char *pcharText = structPlatformEmbeddedStrings[sizeIndex].pcharText;
        size_t sizeCopy = Text_WholeCharacters(pcharText, strnlen(pcharText, sizeBuffer - 1));
        memcpy(pcharBuffer, pcharText, sizeCopy);
        pcharBuffer[sizeCopy] = '\0';
        return 0;
    }
    if (sizeBuffer > 0) pcharBuffer[0] = '\0';
    return -1;
}

void Platform_ShowMessage(const char *pcharCaption, const char *pcharText, long longIcon) {
    (void)longIcon;
    std::string stringLine = std::string(pcharCaption) + ": " + pcharText;
    for (char &charByte : stringLine) {
        if (charByte == '\r' || charByte == '\n') charByte = ' ';
    }
    std::string stringTerminal;
    std::string stringTarget = std::string(Platform_TerminalEncoding()) + "//TRANSLIT";
    if (!Platform_Convert(stringTarget.c_str(), "CP932", stringLine.c_str(), &stringTerminal)) stringTerminal = stringLine;
    fprintf(stderr, "%s\n", stringTerminal.c_str());
    fflush(stderr);
}

const long D_LONG_PLATFORM_WINDOWS_PATH_RULES = 0;

namespace {

// Fills the status from stat's record.
void Platform_FillFileStatus(const struct stat &structStat, Platform_FileStatus *pstructStatus) {
    memset(pstructStatus, 0, sizeof(*pstructStatus));
    pstructStatus->longDirectory = S_ISDIR(structStat.st_mode) ? 1 : 0;
    pstructStatus->longlongSize = pstructStatus->longDirectory ? 0 : static_cast<long long>(structStat.st_size);
    time_t timeLastWrite = structStat.st_mtime;
    localtime_r(&timeLastWrite, &pstructStatus->structLastWrite);
}

}  // namespace

int Platform_GetFileStatus(const char *pcharPath, Platform_FileStatus *pstructStatus) {
    std::string stringPath;
    if (!Platform_Convert(Platform_FileSystemEncoding(), "CP932", pcharPath, &stringPath)) {
        ulongLastError = EILSEQ;
        return -1;
    }
    struct stat structStat;
    if (stat(stringPath.c_str(), &structStat) != 0) {
        ulongLastError = static_cast<unsigned long>(errno);
        return -1;
    }
    Platform_FillFileStatus(structStat, pstructStatus);
    return 0;
}

int Platform_EnumerateFolder(const char *pcharFolder, Platform_FolderEntryFunction pfnEntry, void *pvoidContext) {
    std::string stringFolder;
    if (!Platform_Convert(Platform_FileSystemEncoding(), "CP932", pcharFolder, &stringFolder)) {
        ulongLastError = EILSEQ;
        return -1;
    }
    DIR *pdirFolder = opendir(stringFolder.c_str());
    if (pdirFolder == nullptr) {
        ulongLastError = static_cast<unsigned long>(errno);
        return -1;
    }
    if (stringFolder.empty() || stringFolder.back() != '/') stringFolder += '/';
    for (struct dirent *pstructEntry = readdir(pdirFolder); pstructEntry != nullptr; pstructEntry = readdir(pdirFolder)) {
        std::string stringName;
        if (!Platform_Convert("CP932", Platform_FileSystemEncoding(), pstructEntry->d_name, &stringName)) continue;
        // A link that leads nowhere is still listed, as the link itself.
        std::string stringEntryPath = stringFolder + pstructEntry->d_name;
        struct stat structStat;
        if (stat(stringEntryPath.c_str(), &structStat) != 0 && lstat(stringEntryPath.c_str(), &structStat) != 0) {
            continue;
        }
        Platform_FileStatus structStatus;
        Platform_FillFileStatus(structStat, &structStatus);
        if (pfnEntry(stringName.c_str(), &structStatus, pvoidContext) != 0) break;
    }
    closedir(pdirFolder);
    return 0;
}

int Platform_SeekFile(FILE *pfileTarget, long long longlongOffset) {
    if (fseeko(pfileTarget, static_cast<off_t>(longlongOffset), SEEK_SET) != 0) {
        ulongLastError = static_cast<unsigned long>(errno);
        return -1;
    }
    return 0;
}
