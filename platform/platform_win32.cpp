// Win32 implementation: the ANSI calls, whose narrow texts are in the system's code page (CP932).
#include "platform/platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <io.h>

#include <cstring>

#include "text/text.h"

const char D_CHAR_PLATFORM_PATH_SEPARATOR = '\\';
const Platform_Socket D_SOCKET_PLATFORM_INVALID = static_cast<Platform_Socket>(INVALID_SOCKET);

int Platform_GetExecutableFolder(char *pcharFolder, size_t sizeFolder) {
    char charPath[MAX_PATH + 1];
    DWORD dwordLength = GetModuleFileNameA(nullptr, charPath, MAX_PATH);
    if (dwordLength == 0 || dwordLength >= MAX_PATH) return -1;
    charPath[dwordLength] = '\0';
    const char *pcharSeparator = Text_FindLastCharacter(charPath, '\\');
    if (pcharSeparator == nullptr) return -1;
    size_t sizeFolderLength = static_cast<size_t>(pcharSeparator - charPath);
    if (sizeFolderLength + 1 > sizeFolder) return -1;
    memcpy(pcharFolder, charPath, sizeFolderLength);
    pcharFolder[sizeFolderLength] = '\0';
    return 0;
}

int Platform_GetLocalTime(struct tm *pstructTime, long *plongMilliseconds) {
    SYSTEMTIME structNow;
    GetLocalTime(&structNow);
    memset(pstructTime, 0, sizeof(*pstructTime));
    pstructTime->tm_year = structNow.wYear - 1900;
    pstructTime->tm_mon = structNow.wMonth - 1;
    pstructTime->tm_mday = structNow.wDay;
    pstructTime->tm_hour = structNow.wHour;
    pstructTime->tm_min = structNow.wMinute;
    pstructTime->tm_sec = structNow.wSecond;
    pstructTime->tm_wday = structNow.wDayOfWeek;
    pstructTime->tm_isdst = -1;
    *plongMilliseconds = structNow.wMilliseconds;
    return 0;
}

FILE *Platform_OpenFile(const char *pcharPath, const char *pcharMode) { return fopen(pcharPath, pcharMode); }

int Platform_DeleteFile(const char *pcharPath) { return DeleteFileA(pcharPath) ? 0 : -1; }

unsigned long Platform_GetLastError(void) { return GetLastError(); }
unsigned long Platform_GetLastSocketError(void) { return static_cast<unsigned long>(WSAGetLastError()); }

void Platform_GetErrorText(unsigned long ulongCode, char *pcharText, size_t sizeText) {
    if (sizeText == 0) return;
    char *pcharSystem = nullptr;
    DWORD dwordLength = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                           FORMAT_MESSAGE_IGNORE_INSERTS,
                                       nullptr, ulongCode, 0x400, reinterpret_cast<LPSTR>(&pcharSystem), 0, nullptr);
    if (dwordLength == 0 || pcharSystem == nullptr) {
        snprintf(pcharText, sizeText, "%s", "< メッセージ取得失敗 >");
        return;
    }
    size_t sizeCopy = Text_WholeCharacters(pcharSystem, strnlen(pcharSystem, sizeText - 1));
    memcpy(pcharText, pcharSystem, sizeCopy);
    pcharText[sizeCopy] = '\0';
    LocalFree(pcharSystem);
}

int Platform_SocketStartup(long *plongResult) {
    WSADATA structData;
    int intResult = WSAStartup(MAKEWORD(2, 0), &structData);
    *plongResult = intResult;
    return intResult == 0 ? 0 : -1;
}

int Platform_SocketCleanup(void) { return WSACleanup() == 0 ? 0 : -1; }

Platform_Socket Platform_SocketCreateTcp(void) {
    return static_cast<Platform_Socket>(socket(AF_INET, SOCK_STREAM, 0));
}

int Platform_SocketBind(Platform_Socket socketListen, const char *pcharAddress, long longPort) {
    struct sockaddr_in structAddress;
    memset(&structAddress, 0, sizeof(structAddress));
    structAddress.sin_family = AF_INET;
    structAddress.sin_port = htons(static_cast<u_short>(longPort));
    structAddress.sin_addr.s_addr = inet_addr(pcharAddress);
    return bind(static_cast<SOCKET>(socketListen), reinterpret_cast<struct sockaddr *>(&structAddress),
                sizeof(structAddress)) == 0
               ? 0
               : -1;
}

int Platform_SocketListen(Platform_Socket socketListen, long longBacklog) {
    return listen(static_cast<SOCKET>(socketListen), static_cast<int>(longBacklog)) == 0 ? 0 : -1;
}

int Platform_SocketWaitReadable(Platform_Socket socketTarget, long longSeconds) {
    fd_set fdsetRead;
    FD_ZERO(&fdsetRead);
    FD_SET(static_cast<SOCKET>(socketTarget), &fdsetRead);
    struct timeval structTimeout;
    structTimeout.tv_sec = longSeconds;
    structTimeout.tv_usec = 0;
    int intResult = select(0, &fdsetRead, nullptr, nullptr, &structTimeout);
    if (intResult == SOCKET_ERROR) return -1;
    return (intResult > 0 && FD_ISSET(static_cast<SOCKET>(socketTarget), &fdsetRead)) ? 1 : 0;
}

Platform_Socket Platform_SocketAccept(Platform_Socket socketListen) {
    struct sockaddr_in structPeer;
    int intPeer = sizeof(structPeer);
    return static_cast<Platform_Socket>(
        accept(static_cast<SOCKET>(socketListen), reinterpret_cast<struct sockaddr *>(&structPeer), &intPeer));
}

long Platform_SocketReceive(Platform_Socket socketClient, char *pcharBuffer, long longLength) {
    int intReceived = recv(static_cast<SOCKET>(socketClient), pcharBuffer, static_cast<int>(longLength), 0);
    return intReceived == SOCKET_ERROR ? -1 : intReceived;
}

long Platform_SocketSend(Platform_Socket socketClient, const char *pcharBuffer, long longLength) {
    int intSent = send(static_cast<SOCKET>(socketClient), pcharBuffer, static_cast<int>(longLength), 0);
    return intSent == SOCKET_ERROR ? -1 : intSent;
}

void Platform_SocketShutdown(Platform_Socket socketClient) { shutdown(static_cast<SOCKET>(socketClient), SD_BOTH); }

void Platform_SocketClose(Platform_Socket socketTarget) { closesocket(static_cast<SOCKET>(socketTarget)); }

int Platform_SocketConnect(const char *pcharHost, long longPort, Platform_Socket *psocketConnected) {
    struct addrinfo structHints;
    memset(&structHints, 0, sizeof(structHints));
    structHints.ai_family = AF_INET;
    structHints.ai_socktype = SOCK_STREAM;
    char charPort[16];
    snprintf(charPort, sizeof(charPort), "%ld", longPort);
    struct addrinfo *pstructFound = nullptr;
    if (getaddrinfo(pcharHost, charPort, &structHints, &pstructFound) != 0) return -1;
    SOCKET socketConnected = INVALID_SOCKET;
    for (struct addrinfo *pstructAddress = pstructFound; pstructAddress != nullptr && socketConnected == INVALID_SOCKET;
         pstructAddress = pstructAddress->ai_next) {
        SOCKET socketTry = socket(pstructAddress->ai_family, pstructAddress->ai_socktype, pstructAddress->ai_protocol);
        if (socketTry == INVALID_SOCKET) continue;
        if (connect(socketTry, pstructAddress->ai_addr, static_cast<int>(pstructAddress->ai_addrlen)) != 0) {
            closesocket(socketTry);
            continue;
        }
        socketConnected = socketTry;
    }
    freeaddrinfo(pstructFound);
    if (socketConnected == INVALID_SOCKET) return -1;
    *psocketConnected = static_cast<Platform_Socket>(socketConnected);
    return 0;
}

int Platform_StreamIsTerminal(FILE *pfileStream) { return _isatty(_fileno(pfileStream)) ? 1 : 0; }

void Platform_WriteText(FILE *pfileStream, const char *pcharText) { fputs(pcharText, pfileStream); }

int Platform_TerminalTextToText(const char *pcharTerminalText, char *pcharOut, size_t sizeOut) {
    size_t sizeLength = strlen(pcharTerminalText);
    if (sizeLength + 1 > sizeOut) return -1;
    memcpy(pcharOut, pcharTerminalText, sizeLength + 1);
    return 0;
}

int Platform_LoadResource(const char *pcharName, const char *pcharType, const unsigned char **ppucharData,
                          long *plongSize, const char **ppcharFailedCall) {
    HMODULE hmoduleSelf = GetModuleHandleA(nullptr);
    HRSRC hrsrcFound = FindResourceA(hmoduleSelf, pcharName, pcharType);
    if (hrsrcFound == nullptr) {
        *ppcharFailedCall = "FindResource";
        return -1;
    }
    DWORD dwordSize = SizeofResource(hmoduleSelf, hrsrcFound);
    if (dwordSize == 0) {
        *ppcharFailedCall = "SizeofResource";
        return -1;
    }
    HGLOBAL hglobalLoaded = LoadResource(hmoduleSelf, hrsrcFound);
    if (hglobalLoaded == nullptr) {
        *ppcharFailedCall = "LoadResource";
        return -1;
    }
    *ppucharData = static_cast<const unsigned char *>(LockResource(hglobalLoaded));
    *plongSize = static_cast<long>(dwordSize);
    return 0;
}

int Platform_LoadString(unsigned int uintId, char *pcharBuffer, size_t sizeBuffer) {
    if (sizeBuffer == 0) return -1;
    int intLength = LoadStringA(GetModuleHandleA(nullptr), uintId, pcharBuffer, static_cast<int>(sizeBuffer));
    if (intLength <= 0) {
        pcharBuffer[0] = '\0';
        return -1;
    }
    return 0;
}

void Platform_ShowMessage(const char *pcharCaption, const char *pcharText, long longIcon) {
    UINT uintIcon = longIcon == D_LONG_PLATFORM_NOTICE_ERROR ? MB_ICONERROR : MB_ICONINFORMATION;
    MessageBoxA(nullptr, pcharText, pcharCaption, MB_OK | uintIcon | MB_TOPMOST | MB_SETFOREGROUND | MB_SYSTEMMODAL);
}

int Platform_FindFile(const char *pcharPath) {
    WIN32_FIND_DATAA structFound;
    HANDLE handleFind = FindFirstFileA(pcharPath, &structFound);
    if (handleFind == INVALID_HANDLE_VALUE) return -1;
    FindClose(handleFind);
    return 0;
}

long Platform_GetPrivateProfileString(const char *pcharSection, const char *pcharKey, const char *pcharDefault,
                                      char *pcharOut, size_t sizeOut, const char *pcharPath) {
    if (pcharOut == nullptr || sizeOut == 0) return 0;
    if (pcharSection == nullptr || pcharKey == nullptr) {
        pcharOut[0] = '\0';
        return 0;
    }
    DWORD dwordSize = sizeOut > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(sizeOut);
    return static_cast<long>(GetPrivateProfileStringA(pcharSection, pcharKey, pcharDefault, pcharOut, dwordSize,
                                                      pcharPath));
}

int Platform_WritePrivateProfileString(const char *pcharSection, const char *pcharKey, const char *pcharValue,
                                       const char *pcharPath) {
    if (pcharSection == nullptr || pcharKey == nullptr || pcharValue == nullptr) return -1;
    return WritePrivateProfileStringA(pcharSection, pcharKey, pcharValue, pcharPath) ? 0 : -1;
}

const long D_LONG_PLATFORM_WINDOWS_PATH_RULES = 1;

namespace {

// Fills the status from the attributes, the size halves and the last-write time of a find or
// attribute record; the time goes through local file time into a broken-down local time.
void Platform_FillFileStatus(DWORD dwordAttributes, DWORD dwordSizeHigh, DWORD dwordSizeLow,
                             const FILETIME &structLastWrite, Platform_FileStatus *pstructStatus) {
    memset(pstructStatus, 0, sizeof(*pstructStatus));
    pstructStatus->longDirectory = (dwordAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
    if (pstructStatus->longDirectory == 0) {
        pstructStatus->longlongSize =
            static_cast<long long>((static_cast<unsigned long long>(dwordSizeHigh) << 32) | dwordSizeLow);
    }
    FILETIME structLocal;
    SYSTEMTIME structTime;
    memset(&structTime, 0, sizeof(structTime));
    FileTimeToLocalFileTime(&structLastWrite, &structLocal);
    FileTimeToSystemTime(&structLocal, &structTime);
    pstructStatus->structLastWrite.tm_year = structTime.wYear - 1900;
    pstructStatus->structLastWrite.tm_mon = structTime.wMonth - 1;
    pstructStatus->structLastWrite.tm_mday = structTime.wDay;
    pstructStatus->structLastWrite.tm_hour = structTime.wHour;
    pstructStatus->structLastWrite.tm_min = structTime.wMinute;
    pstructStatus->structLastWrite.tm_sec = structTime.wSecond;
    pstructStatus->structLastWrite.tm_wday = structTime.wDayOfWeek;
    pstructStatus->structLastWrite.tm_isdst = -1;
}

}  // namespace

int Platform_GetFileStatus(const char *pcharPath, Platform_FileStatus *pstructStatus) {
    WIN32_FILE_ATTRIBUTE_DATA structData;
    if (!GetFileAttributesExA(pcharPath, GetFileExInfoStandard, &structData)) return -1;
    Platform_FillFileStatus(structData.dwFileAttributes, structData.nFileSizeHigh, structData.nFileSizeLow,
                            structData.ftLastWriteTime, pstructStatus);
    return 0;
}

int Platform_EnumerateFolder(const char *pcharFolder, Platform_FolderEntryFunction pfnEntry, void *pvoidContext) {
    // The search pattern: the folder, a separator unless it already ends with one, and "*".
    char charPattern[MAX_PATH];
    size_t sizeFolder = strlen(pcharFolder);
    const char *pcharLast = Text_FindLastCharacter(pcharFolder, '\\');
    bool boolEndsWithSeparator = sizeFolder > 0 && pcharLast == pcharFolder + sizeFolder - 1;
    int intPattern = snprintf(charPattern, sizeof(charPattern), "%s%s*", pcharFolder, boolEndsWithSeparator ? "" : "\\");
    if (intPattern < 0 || static_cast<size_t>(intPattern) >= sizeof(charPattern)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return -1;
    }
    WIN32_FIND_DATAA structFound;
    HANDLE handleFind = FindFirstFileA(charPattern, &structFound);
    if (handleFind == INVALID_HANDLE_VALUE) return -1;
    do {
        Platform_FileStatus structStatus;
        Platform_FillFileStatus(structFound.dwFileAttributes, structFound.nFileSizeHigh, structFound.nFileSizeLow,
                                structFound.ftLastWriteTime, &structStatus);
        if (pfnEntry(structFound.cFileName, &structStatus, pvoidContext) != 0) break;
    } while (FindNextFileA(handleFind, &structFound));
    FindClose(handleFind);
    return 0;
}

int Platform_SeekFile(FILE *pfileTarget, long long longlongOffset) {
    return _fseeki64(pfileTarget, longlongOffset, SEEK_SET) == 0 ? 0 : -1;
}
