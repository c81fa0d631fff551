// Shared-folder listing: the root of the published tree (one entry per shared folder) and the folders
// inside the shared folders, as the listing text of the "ls" command, and the publication test that
// every path of a command passes.
//
// Listing text: one line per entry, the six fields of Server_FileListEntry in order, separated by TAB
// and ended by CR LF; no header, no trailer, no count.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log/log.h"
#include "platform/platform.h"
#include "server/server.h"
#include "text/text.h"

namespace {

constexpr char D_CHARS_SERVER_DIRECTORY_TYPE[] = "<DIR>";
constexpr char D_CHARS_SERVER_PARENT_NAME[] = "..";
// The share name of a shared folder that is the root of a file system and so has no name of its own.
constexpr char D_CHARS_SERVER_ROOT_SHARE_NAME[] = "ルート";
// A shared folder written as "/" would read as the published tree's root; its listing names it thus.
constexpr char D_CHARS_SERVER_TREE_ROOT[] = "/";
constexpr char D_CHARS_SERVER_TREE_ROOT_FOLDER[] = "/.";
// Five TABs and CR LF.
constexpr long D_LONG_SERVER_LINE_OVERHEAD = 7;

// Windows' reserved device names; a name is one of them when its part before the first '.', without
// trailing blanks, is, in any case.
constexpr const char *D_PCHARS_SERVER_DEVICE_NAMES[] = {
    "CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$", "COM1", "COM2", "COM3", "COM4", "COM5",
    "COM6", "COM7", "COM8", "COM9", "LPT1",   "LPT2",    "LPT3", "LPT4", "LPT5", "LPT6", "LPT7",
    "LPT8", "LPT9",
};

// Joins up to three texts into a field of sizeField bytes. false when they do not fit; the field is then
// empty, never cut.
bool Server_JoinField(char *pcharField, size_t sizeField, const char *pcharFirst, const char *pcharSecond = "",
                      const char *pcharThird = "") {
    size_t sizeFirst = strlen(pcharFirst);
    size_t sizeSecond = strlen(pcharSecond);
    size_t sizeThird = strlen(pcharThird);
    if (sizeFirst + sizeSecond + sizeThird + 1 > sizeField) {
        pcharField[0] = '\0';
        return false;
    }
    memcpy(pcharField, pcharFirst, sizeFirst);
    memcpy(pcharField + sizeFirst, pcharSecond, sizeSecond);
    memcpy(pcharField + sizeFirst + sizeSecond, pcharThird, sizeThird);
    pcharField[sizeFirst + sizeSecond + sizeThird] = '\0';
    return true;
}

// The length of the text without the separators at its end (double-byte characters left whole).
size_t Server_LengthWithoutTrailingSeparators(const char *pcharText, char charSeparator) {
    size_t sizeEnd = 0;
    for (size_t sizeIndex = 0; pcharText[sizeIndex] != '\0';) {
        size_t sizeStep =
            Text_IsLeadByte(static_cast<unsigned char>(pcharText[sizeIndex])) && pcharText[sizeIndex + 1] != '\0' ? 2
                                                                                                              : 1;
        if (sizeStep == 2 || pcharText[sizeIndex] != charSeparator) sizeEnd = sizeIndex + sizeStep;
        sizeIndex += sizeStep;
    }
    return sizeEnd;
}

bool Server_EqualsIgnoringAsciiCase(const char *pcharText, size_t sizeLength, const char *pcharUpper) {
    if (strlen(pcharUpper) != sizeLength) return false;
    for (size_t sizeIndex = 0; sizeIndex < sizeLength; ++sizeIndex) {
        char charByte = pcharText[sizeIndex];
        if (charByte >= 'a' && charByte <= 'z') charByte = static_cast<char>(charByte - 'a' + 'A');
        if (charByte != pcharUpper[sizeIndex]) return false;
    }
    return true;
}

// Whether one component of a path (sizeLength bytes) is a plain name that stays inside its folder.
bool Server_IsPlainName(const char *pcharName, size_t sizeLength, const Server_PathRules *pstructRules) {
    if (sizeLength == 0) return false;
    if (sizeLength == 1 && pcharName[0] == '.') return false;
    if (sizeLength == 2 && pcharName[0] == '.' && pcharName[1] == '.') return false;
    if (pstructRules->longWindowsRules == 0) return true;

    // Windows drops a name's trailing dots and blanks (".. " is ".."), reads ':' as a drive or a stream,
    // '/' as a separator and "*?<>" as wildcards, and allows none of them, '"', '|' or control characters
    // in a file's name.
    if (pcharName[sizeLength - 1] == '.' || pcharName[sizeLength - 1] == ' ') return false;
    size_t sizeStem = sizeLength;
    for (size_t sizeIndex = 0; sizeIndex < sizeLength; ++sizeIndex) {
        char charByte = pcharName[sizeIndex];
        if (static_cast<unsigned char>(charByte) < 0x20 || strchr(":/*?<>\"|", charByte) != nullptr) return false;
        if (charByte == '.' && sizeStem == sizeLength) sizeStem = sizeIndex;
        if (Text_IsLeadByte(static_cast<unsigned char>(charByte)) && sizeIndex + 1 < sizeLength) ++sizeIndex;
    }
    while (sizeStem > 0 && pcharName[sizeStem - 1] == ' ') --sizeStem;
    for (const char *pcharDevice : D_PCHARS_SERVER_DEVICE_NAMES) {
        if (Server_EqualsIgnoringAsciiCase(pcharName, sizeStem, pcharDevice)) return false;
    }
    return true;
}

// Whether every separator-delimited component of the text is a plain name.
bool Server_IsPlainTail(const char *pcharTail, const Server_PathRules *pstructRules) {
    const char *pcharAt = pcharTail;
    for (;;) {
        const char *pcharSeparator = Text_FindCharacter(pcharAt, pstructRules->charSeparator);
        size_t sizeLength = pcharSeparator != nullptr ? static_cast<size_t>(pcharSeparator - pcharAt) : strlen(pcharAt);
        if (!Server_IsPlainName(pcharAt, sizeLength, pstructRules)) return false;
        if (pcharSeparator == nullptr) return true;
        pcharAt = pcharSeparator + 1;
    }
}

// A shared folder's name in the published tree (the part after its last separator, trailing separators
// left aside), and the address by which listings name it. false when they do not fit their fields.
bool Server_DescribeSharedFolder(const char *pcharFolderPath, const Server_PathRules *pstructRules,
                                 char *pcharShareName, char *pcharAddress) {
    size_t sizeBase = Server_LengthWithoutTrailingSeparators(pcharFolderPath, pstructRules->charSeparator);
    if (sizeBase + 1 > static_cast<size_t>(D_LONG_SERVER_PATH_SIZE)) return false;
    const char *pcharLast = Text_FindLastCharacterIn(pcharFolderPath, sizeBase, pstructRules->charSeparator);
    const char *pcharName = pcharLast != nullptr ? pcharLast + 1 : pcharFolderPath;
    size_t sizeName = static_cast<size_t>(pcharFolderPath + sizeBase - pcharName);
    if (sizeName == 0) {
        Server_JoinField(pcharShareName, D_LONG_SERVER_PATH_SIZE, D_CHARS_SERVER_ROOT_SHARE_NAME);
    } else {
        memcpy(pcharShareName, pcharName, sizeName);
        pcharShareName[sizeName] = '\0';
    }
    const char *pcharFolderAddress =
        strcmp(pcharFolderPath, D_CHARS_SERVER_TREE_ROOT) == 0 ? D_CHARS_SERVER_TREE_ROOT_FOLDER : pcharFolderPath;
    return Server_JoinField(pcharAddress, D_LONG_SERVER_PATH_SIZE, pcharFolderAddress);
}

void Server_ReleaseEntries(Server_FileListEntry *pstructHead) {
    while (pstructHead != nullptr) {
        Server_FileListEntry *pstructNext = pstructHead->pstructNext;
        free(pstructHead);
        pstructHead = pstructNext;
    }
}

// The list of entries as it grows, with the running total of the text's length.
struct Server_FileListWork {
    Server_PathRules structRules;
    const Server_PublishedPath *pstructPublished;
    Server_FileListEntry *pstructHead;
    Server_FileListEntry *pstructTail;
    long long longlongTotal;
    long longFailed;
};

// Appends an entry and counts its line. false when the text would no longer fit the wire.
bool Server_AppendEntry(Server_FileListWork *pstructWork, Server_FileListEntry *pstructEntry) {
    if (pstructWork->pstructTail == nullptr) {
        pstructWork->pstructHead = pstructEntry;
    } else {
        pstructWork->pstructTail->pstructNext = pstructEntry;
    }
    pstructWork->pstructTail = pstructEntry;
    pstructWork->longlongTotal += static_cast<long long>(
        strlen(pstructEntry->charFileName) + strlen(pstructEntry->charFileType) + strlen(pstructEntry->charFileSize) +
        strlen(pstructEntry->charUpdateTime) + strlen(pstructEntry->charPhysicalPath) +
        strlen(pstructEntry->charLogicalPath) + D_LONG_SERVER_LINE_OVERHEAD);
    if (pstructWork->longlongTotal > D_LONG_SERVER_MAX_FILE_PIECE) {
        LOG_TRACE("一覧が送信可能なサイズを超えています");
        return false;
    }
    return true;
}

// Makes a folder entry ("<DIR>", no size, no time) with the given paths and appends it.
bool Server_AppendFolderEntry(Server_FileListWork *pstructWork, const char *pcharName, const char *pcharPhysicalPath,
                              const char *pcharLogicalPath) {
    Server_FileListEntry *pstructEntry =
        static_cast<Server_FileListEntry *>(calloc(1, sizeof(Server_FileListEntry)));
    if (pstructEntry == nullptr) {
        LOG_TRACE("calloc 異常終了");
        return false;
    }
    if (!Server_JoinField(pstructEntry->charFileName, sizeof(pstructEntry->charFileName), pcharName) ||
        !Server_JoinField(pstructEntry->charPhysicalPath, sizeof(pstructEntry->charPhysicalPath), pcharPhysicalPath) ||
        !Server_JoinField(pstructEntry->charLogicalPath, sizeof(pstructEntry->charLogicalPath), pcharLogicalPath)) {
        LOG_TRACEF("パスが長すぎます(%s)", pcharPhysicalPath);
        free(pstructEntry);
        return false;
    }
    Server_JoinField(pstructEntry->charFileType, sizeof(pstructEntry->charFileType), D_CHARS_SERVER_DIRECTORY_TYPE);
    return Server_AppendEntry(pstructWork, pstructEntry);
}

int Server_ClampField(int intValue, int intLowest, int intHighest) {
    return intValue < intLowest ? intLowest : (intValue > intHighest ? intHighest : intValue);
}

// One enumerated entry of the folder becomes one listing entry.
int Server_ListFolderEntry(const char *pcharName, const Platform_FileStatus *pstructStatus, void *pvoidWork) {
    Server_FileListWork *pstructWork = static_cast<Server_FileListWork *>(pvoidWork);
    const Server_PublishedPath *pstructPublished = pstructWork->pstructPublished;
    // "." is not listed; ".." was made by the listing itself, whether the file system has one or not.
    if (strcmp(pcharName, ".") == 0 || strcmp(pcharName, D_CHARS_SERVER_PARENT_NAME) == 0) return 0;

    Server_FileListEntry *pstructEntry =
        static_cast<Server_FileListEntry *>(calloc(1, sizeof(Server_FileListEntry)));
    if (pstructEntry == nullptr) {
        LOG_TRACE("calloc 異常終了");
        pstructWork->longFailed = 1;
        return -1;
    }
    const char charSeparator[2] = {pstructWork->structRules.charSeparator, '\0'};
    size_t sizeLogical = strlen(pstructPublished->charLogicalPath);
    bool boolLogicalEndsWithSlash = sizeLogical > 0 && pstructPublished->charLogicalPath[sizeLogical - 1] == '/';
    if (!Server_JoinField(pstructEntry->charFileName, sizeof(pstructEntry->charFileName), pcharName) ||
        !Server_JoinField(pstructEntry->charPhysicalPath, sizeof(pstructEntry->charPhysicalPath),
                          pstructPublished->charJoinPath, charSeparator, pcharName) ||
        !Server_JoinField(pstructEntry->charLogicalPath, sizeof(pstructEntry->charLogicalPath),
                          pstructPublished->charLogicalPath, boolLogicalEndsWithSlash ? "" : "/", pcharName)) {
        LOG_TRACEF("パスが長すぎます(%s%s%s)", pstructPublished->charJoinPath, charSeparator, pcharName);
        free(pstructEntry);
        pstructWork->longFailed = 1;
        return -1;
    }
    if (pstructStatus->longDirectory != 0) {
        Server_JoinField(pstructEntry->charFileType, sizeof(pstructEntry->charFileType), D_CHARS_SERVER_DIRECTORY_TYPE);
    } else {
        snprintf(pstructEntry->charFileSize, sizeof(pstructEntry->charFileSize), "%lld", pstructStatus->longlongSize);
        const struct tm &structTime = pstructStatus->structLastWrite;
        snprintf(pstructEntry->charUpdateTime, sizeof(pstructEntry->charUpdateTime), "%04d/%02d/%02d %02d:%02d:%02d",
                 Server_ClampField(structTime.tm_year + 1900, 0, 9999), Server_ClampField(structTime.tm_mon + 1, 1, 12),
                 Server_ClampField(structTime.tm_mday, 1, 31), Server_ClampField(structTime.tm_hour, 0, 23),
                 Server_ClampField(structTime.tm_min, 0, 59), Server_ClampField(structTime.tm_sec, 0, 60));
    }
    if (!Server_AppendEntry(pstructWork, pstructEntry)) {
        pstructWork->longFailed = 1;
        return -1;
    }
    return 0;
}

// Builds the listing text of the entries in one allocation of the running total plus one.
int Server_BuildFileList(const Server_FileListWork *pstructWork, char **ppcharFileList, long *plongFileListLength) {
    size_t sizeTotal = static_cast<size_t>(pstructWork->longlongTotal);
    char *pcharFileList = static_cast<char *>(calloc(sizeTotal + 1, 1));
    if (pcharFileList == nullptr) return -1;
    size_t sizeAt = 0;
    for (const Server_FileListEntry *pstructEntry = pstructWork->pstructHead; pstructEntry != nullptr;
         pstructEntry = pstructEntry->pstructNext) {
        const char *pcharFields[] = {pstructEntry->charFileName,   pstructEntry->charFileType,
                                     pstructEntry->charFileSize,   pstructEntry->charUpdateTime,
                                     pstructEntry->charPhysicalPath, pstructEntry->charLogicalPath};
        for (size_t sizeField = 0; sizeField < sizeof(pcharFields) / sizeof(pcharFields[0]); ++sizeField) {
            size_t sizeLength = strlen(pcharFields[sizeField]);
            memcpy(pcharFileList + sizeAt, pcharFields[sizeField], sizeLength);
            sizeAt += sizeLength;
            pcharFileList[sizeAt++] = sizeField + 1 < sizeof(pcharFields) / sizeof(pcharFields[0]) ? '\t' : '\r';
        }
        pcharFileList[sizeAt++] = '\n';
    }
    *ppcharFileList = pcharFileList;
    *plongFileListLength = static_cast<long>(sizeTotal);
    return 0;
}

}  // namespace

void Server_GetPlatformPathRules(Server_PathRules *pstructRules) {
    pstructRules->charSeparator = D_CHAR_PLATFORM_PATH_SEPARATOR;
    pstructRules->longWindowsRules = D_LONG_PLATFORM_WINDOWS_PATH_RULES;
}

int Server_FindPublishedPath(const char *pcharPath, const Config_SharedFolder *pstructSharedFolderList,
                             const Server_PathRules *pstructRules, Server_PublishedPath *pstructPublished) {
    LOG_ENTER();
    memset(pstructPublished, 0, sizeof(*pstructPublished));
    const char charSeparator = pstructRules->charSeparator;
    for (const Config_SharedFolder *pstructFolder = pstructSharedFolderList; pstructFolder != nullptr;
         pstructFolder = pstructFolder->pstructNext) {
        const char *pcharFolder = pstructFolder->pcharFolderPath;
        if (pcharFolder == nullptr || pcharFolder[0] == '\0') continue;
        char charAddress[D_LONG_SERVER_PATH_SIZE];
        if (!Server_DescribeSharedFolder(pcharFolder, pstructRules, pstructPublished->charShareName, charAddress)) {
            continue;
        }
        size_t sizeBase = Server_LengthWithoutTrailingSeparators(pcharFolder, charSeparator);
        bool boolAtShare = strcmp(pcharPath, pcharFolder) == 0 || strcmp(pcharPath, charAddress) == 0;
        const char *pcharTail = nullptr;
        if (!boolAtShare) {
            // The folder's bytes, ending on a character boundary, then a separator and plain names.
            if (Text_WholeCharacters(pcharFolder, sizeBase) != sizeBase) continue;
            if (strncmp(pcharPath, pcharFolder, sizeBase) != 0 || pcharPath[sizeBase] != charSeparator) continue;
            pcharTail = pcharPath + sizeBase + 1;
            if (!Server_IsPlainTail(pcharTail, pstructRules)) continue;
        }

        pstructPublished->pstructSharedFolder = pstructFolder;
        bool boolFits = true;
        if (boolAtShare) {
            pstructPublished->longAtSharedFolder = 1;
            char charBase[D_LONG_SERVER_PATH_SIZE];
            memcpy(charBase, pcharFolder, sizeBase);
            charBase[sizeBase] = '\0';
            boolFits = Server_JoinField(pstructPublished->charJoinPath, D_LONG_SERVER_PATH_SIZE, charBase) &&
                       Server_JoinField(pstructPublished->charLogicalPath, D_LONG_SERVER_PATH_SIZE, "/",
                                        pstructPublished->charShareName, "/") &&
                       Server_JoinField(pstructPublished->charParentLogicalPath, D_LONG_SERVER_PATH_SIZE, "/");
        } else {
            boolFits = Server_JoinField(pstructPublished->charJoinPath, D_LONG_SERVER_PATH_SIZE, pcharPath) &&
                       Server_JoinField(pstructPublished->charLogicalPath, D_LONG_SERVER_PATH_SIZE, "/",
                                        pstructPublished->charShareName, "/");
            if (boolFits) {
                // The tail's separators become "/" in the logical path.
                size_t sizeShare = strlen(pstructPublished->charLogicalPath);
                boolFits = Server_JoinField(pstructPublished->charLogicalPath + sizeShare,
                                            D_LONG_SERVER_PATH_SIZE - sizeShare, pcharTail);
                Text_ReplaceCharacter(pstructPublished->charLogicalPath + sizeShare, charSeparator, '/');
            }
            if (boolFits) {
                const char *pcharLogicalSlash = Text_FindLastCharacter(pstructPublished->charLogicalPath, '/');
                size_t sizeParentLogical = static_cast<size_t>(pcharLogicalSlash - pstructPublished->charLogicalPath);
                memcpy(pstructPublished->charParentLogicalPath, pstructPublished->charLogicalPath, sizeParentLogical);
                pstructPublished->charParentLogicalPath[sizeParentLogical] = '\0';
                // The parent is the path up to its last separator; one level below the shared folder it is
                // the shared folder, named as the root's listing names it.
                const char *pcharSeparator = Text_FindLastCharacter(pcharPath, charSeparator);
                size_t sizeParent = static_cast<size_t>(pcharSeparator - pcharPath);
                if (sizeParent == sizeBase) {
                    Server_JoinField(pstructPublished->charParentPhysicalPath, D_LONG_SERVER_PATH_SIZE, charAddress);
                } else {
                    memcpy(pstructPublished->charParentPhysicalPath, pcharPath, sizeParent);
                    pstructPublished->charParentPhysicalPath[sizeParent] = '\0';
                }
            }
        }
        if (!boolFits) {
            LOG_TRACEF("パスが長すぎます(%s)", pcharPath);
            memset(pstructPublished, 0, sizeof(*pstructPublished));
            LOG_LEAVE_NG();
            return -1;
        }
        LOG_LEAVE_OK();
        return 0;
    }
    memset(pstructPublished, 0, sizeof(*pstructPublished));
    LOG_TRACE("指定のパスは公開対象ではありません");
    LOG_LEAVE_NG();
    return -1;
}

int Server_CreateFileList(const char *pcharPath, const Config_SharedFolder *pstructSharedFolderList,
                          char **ppcharFileList, long *plongFileListLength) {
    LOG_ENTER();
    *ppcharFileList = nullptr;
    *plongFileListLength = 0;
    Server_FileListWork structWork;
    memset(&structWork, 0, sizeof(structWork));
    Server_GetPlatformPathRules(&structWork.structRules);

    if (pcharPath[0] == '\0' || strcmp(pcharPath, D_CHARS_SERVER_TREE_ROOT) == 0) {
        if (pstructSharedFolderList == nullptr) {
            LOG_TRACE("公開フォルダ設定無し");
            LOG_LEAVE_OK();
            return 0;
        }
        for (const Config_SharedFolder *pstructFolder = pstructSharedFolderList; pstructFolder != nullptr;
             pstructFolder = pstructFolder->pstructNext) {
            char charShareName[D_LONG_SERVER_PATH_SIZE];
            char charAddress[D_LONG_SERVER_PATH_SIZE];
            char charLogicalPath[D_LONG_SERVER_PATH_SIZE];
            if (!Server_DescribeSharedFolder(pstructFolder->pcharFolderPath, &structWork.structRules, charShareName,
                                             charAddress) ||
                !Server_JoinField(charLogicalPath, sizeof(charLogicalPath), "/", charShareName)) {
                LOG_TRACEF("パスが長すぎます(%s)", pstructFolder->pcharFolderPath);
                Server_ReleaseEntries(structWork.pstructHead);
                LOG_LEAVE_NG();
                return -1;
            }
            if (!Server_AppendFolderEntry(&structWork, charShareName, charAddress, charLogicalPath)) {
                Server_ReleaseEntries(structWork.pstructHead);
                LOG_LEAVE_NG();
                return -1;
            }
        }
    } else {
        Server_PublishedPath structPublished;
        LOG_TRACE("Server_FindPublishedPath 呼び出し");
        if (Server_FindPublishedPath(pcharPath, pstructSharedFolderList, &structWork.structRules, &structPublished) !=
            0) {
            LOG_LEAVE_NG();
            return -1;
        }
        structWork.pstructPublished = &structPublished;
        // The search pattern, the folder with a separator and "*", must fit a path too.
        if (strlen(pcharPath) + 2 + 1 > static_cast<size_t>(D_LONG_SERVER_PATH_SIZE)) {
            LOG_TRACEF("パスが長すぎます(%s)", pcharPath);
            LOG_LEAVE_NG();
            return -1;
        }
        if (!Server_AppendFolderEntry(&structWork, D_CHARS_SERVER_PARENT_NAME, structPublished.charParentPhysicalPath,
                                      structPublished.charParentLogicalPath)) {
            Server_ReleaseEntries(structWork.pstructHead);
            LOG_LEAVE_NG();
            return -1;
        }
        LOG_TRACE("Platform_EnumerateFolder 呼び出し");
        if (Platform_EnumerateFolder(pcharPath, Server_ListFolderEntry, &structWork) != 0) {
            unsigned long ulongError = Platform_GetLastError();
            char charMessage[D_LONG_LOG_LINE_BUFFER];
            snprintf(charMessage, sizeof(charMessage), "外部処理異常終了(%s)：エラーコード=%d\n", "FindFirstFile",
                     static_cast<int>(ulongError));
            Log_OutputTraceLog(__func__, charMessage, D_LONG_LOG_LEVEL_ERROR, __LINE__);
            Server_ReleaseEntries(structWork.pstructHead);
            LOG_LEAVE_NG();
            return -1;
        }
        if (structWork.longFailed != 0) {
            Server_ReleaseEntries(structWork.pstructHead);
            LOG_LEAVE_NG();
            return -1;
        }
    }

    if (Server_BuildFileList(&structWork, ppcharFileList, plongFileListLength) != 0) {
        Server_ReleaseEntries(structWork.pstructHead);
        LOG_LEAVE_NG();
        return -1;
    }
    Server_ReleaseEntries(structWork.pstructHead);
    LOG_LEAVE_OK();
    return 0;
}
