// The command route of /ftp.cgi: one enciphered command in, one enciphered answer out.
//
// Commands (the first line of the deciphered body, up to CR LF; the rest is ignored):
//   "ls" [white space] path                       listing of the published tree's root ("/") or a folder
//   "get" [white space] path white space offset   a file from a signed 32-bit byte offset to its end
// The command word is matched byte for byte at the start of the line; the path is the longest run of
// bytes other than white space (space, TAB, LF, VT, FF, CR).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/config.h"
#include "crypt/crypt.h"
#include "log/log.h"
#include "server/server.h"
#include "text/text.h"

namespace {

constexpr char D_CHARS_SERVER_COMMAND_LS[] = "ls";
constexpr char D_CHARS_SERVER_COMMAND_GET[] = "get";

bool Server_IsWhiteSpace(char charByte) {
    return charByte == ' ' || charByte == '\t' || charByte == '\n' || charByte == '\v' || charByte == '\f' ||
           charByte == '\r';
}

const char *Server_SkipWhiteSpace(const char *pcharAt) {
    while (*pcharAt != '\0' && Server_IsWhiteSpace(*pcharAt)) ++pcharAt;
    return pcharAt;
}

// Reads the path after white space into pcharPath (as long as the whole line, so it always fits).
// The position after it, or nullptr when there is no path.
const char *Server_ReadPath(const char *pcharAt, char *pcharPath) {
    pcharAt = Server_SkipWhiteSpace(pcharAt);
    size_t sizeLength = 0;
    while (pcharAt[sizeLength] != '\0' && !Server_IsWhiteSpace(pcharAt[sizeLength])) ++sizeLength;
    if (sizeLength == 0) return nullptr;
    memcpy(pcharPath, pcharAt, sizeLength);
    pcharPath[sizeLength] = '\0';
    return pcharAt + sizeLength;
}

// Reads an optionally signed decimal number after white space as a signed 32-bit value; the bytes after
// its digits are not looked at. false when there are no digits or the value does not fit 32 bits.
bool Server_ReadOffset(const char *pcharAt, long *plongOffset) {
    pcharAt = Server_SkipWhiteSpace(pcharAt);
    bool boolNegative = false;
    if (*pcharAt == '+' || *pcharAt == '-') {
        boolNegative = *pcharAt == '-';
        ++pcharAt;
    }
    if (*pcharAt < '0' || *pcharAt > '9') return false;
    long long longlongValue = 0;
    for (; *pcharAt >= '0' && *pcharAt <= '9'; ++pcharAt) {
        longlongValue = longlongValue * 10 + (*pcharAt - '0');
        if (longlongValue > 0x80000000LL) return false;
    }
    if (boolNegative) longlongValue = -longlongValue;
    if (longlongValue > 0x7FFFFFFFLL) return false;
    *plongOffset = static_cast<long>(longlongValue);
    return true;
}

// Writes the access-log entry "対象パス = <path>" of the kind, cut on a whole character if it must be.
void Server_LogTargetPath(const char *pcharPath, long longKind) {
    char charText[D_LONG_LOG_LINE_BUFFER];
    int intFormatted = snprintf(charText, sizeof(charText), "対象パス = %s", pcharPath);
    if (intFormatted >= static_cast<int>(sizeof(charText))) {
        charText[Text_WholeCharacters(charText, sizeof(charText) - 1)] = '\0';
    }
    Log_OutputAccessLog(charText, longKind);
}

// What one command works with; every buffer is released by Server_ReleaseCommand.
struct Server_CommandWork {
    char charPassword[D_LONG_CONFIG_CRYPTPASSWORD_SIZE];
    Config_SharedFolder *pstructSharedFolderList;
    unsigned char *pucharPayload;
    char *pcharRequestBodyNULLend;
    char *pcharCommandLine;
    char *pcharPath;
    unsigned char *pucharResult;
    long longResultLength;
};

void Server_ReleaseCommand(Server_CommandWork *pstructWork) {
    free(pstructWork->pucharPayload);
    free(pstructWork->pcharRequestBodyNULLend);
    free(pstructWork->pcharCommandLine);
    free(pstructWork->pcharPath);
    free(pstructWork->pucharResult);
    Config_ReleaseSharedFolderList(&pstructWork->pstructSharedFolderList);
    memset(pstructWork->charPassword, 0, sizeof(pstructWork->charPassword));
}

// Deciphers the body and takes its first line into pcharCommandLine. 0 or -1.
int Server_ReadCommandLine(const char *pcharRequest, long longHeaderLength, long longBodyLength,
                           Server_CommandWork *pstructWork) {
    long longPayloadLength = 0;
    LOG_TRACE("Cryrpt_Decrypt 呼び出し");
    if (longHeaderLength < 0 || longBodyLength < 0 ||
        Cryrpt_Decrypt(reinterpret_cast<const unsigned char *>(pcharRequest) + longHeaderLength, longBodyLength,
                       pstructWork->charPassword, &pstructWork->pucharPayload, &longPayloadLength) != 0) {
        LOG_TRACE("Cryrpt_Decrypt 異常終了");
        return -1;
    }
    pstructWork->pcharRequestBodyNULLend = static_cast<char *>(calloc(static_cast<size_t>(longPayloadLength) + 1, 1));
    if (pstructWork->pcharRequestBodyNULLend == nullptr) {
        LOG_TRACE("calloc 異常終了");
        return -1;
    }
    if (longPayloadLength > 0) {
        memcpy(pstructWork->pcharRequestBodyNULLend, pstructWork->pucharPayload, static_cast<size_t>(longPayloadLength));
    }
    free(pstructWork->pucharPayload);
    pstructWork->pucharPayload = nullptr;

    // A NUL byte inside the payload ends the search, like the end of the payload.
    const char *pcharLineEnd = strstr(pstructWork->pcharRequestBodyNULLend, "\r\n");
    if (pcharLineEnd == nullptr) {
        LOG_TRACE("指示文形式が不正です");
        return -1;
    }
    size_t sizeLine = static_cast<size_t>(pcharLineEnd - pstructWork->pcharRequestBodyNULLend);
    pstructWork->pcharCommandLine = static_cast<char *>(calloc(sizeLine + 1, 1));
    if (pstructWork->pcharCommandLine == nullptr) {
        LOG_TRACE("calloc 異常終了");
        return -1;
    }
    memcpy(pstructWork->pcharCommandLine, pstructWork->pcharRequestBodyNULLend, sizeLine);
    free(pstructWork->pcharRequestBodyNULLend);
    pstructWork->pcharRequestBodyNULLend = nullptr;
    LOG_TRACEF("指示文：%s", pstructWork->pcharCommandLine);
    return 0;
}

// Runs the command line into pucharResult / longResultLength. 0 or -1.
int Server_RunCommand(Server_CommandWork *pstructWork) {
    const char *pcharLine = pstructWork->pcharCommandLine;
    bool boolList = strncmp(pcharLine, D_CHARS_SERVER_COMMAND_LS, strlen(D_CHARS_SERVER_COMMAND_LS)) == 0;
    bool boolGet = !boolList && strncmp(pcharLine, D_CHARS_SERVER_COMMAND_GET, strlen(D_CHARS_SERVER_COMMAND_GET)) == 0;
    if (!boolList && !boolGet) {
        LOG_TRACE("指示文の内容が不正です");
        return -1;
    }
    pstructWork->pcharPath = static_cast<char *>(calloc(strlen(pcharLine) + 1, 1));
    if (pstructWork->pcharPath == nullptr) {
        LOG_TRACE("指示文形式が不正です１");
        return -1;
    }
    const char *pcharAfterPath = Server_ReadPath(
        pcharLine + strlen(boolList ? D_CHARS_SERVER_COMMAND_LS : D_CHARS_SERVER_COMMAND_GET), pstructWork->pcharPath);
    long longOffset = 0;
    if (pcharAfterPath == nullptr || (boolGet && !Server_ReadOffset(pcharAfterPath, &longOffset))) {
        LOG_TRACE("指示文形式が不正です２");
        return -1;
    }

    // The folder list is taken once for the whole command, so that a change in the settings meanwhile
    // neither mixes two lists nor frees the one in use.
    LOG_TRACE("Config_CopySharedFolderList 呼び出し");
    if (Config_CopySharedFolderList(&pstructWork->pstructSharedFolderList) != 0) {
        LOG_TRACE("Config_CopySharedFolderList 異常終了");
        return -1;
    }

    if (boolList) {
        Server_LogTargetPath(pstructWork->pcharPath, D_LONG_LOG_ACCESSKIND_FILE_LIST);
        char *pcharFileList = nullptr;
        LOG_TRACE("Server_CreateFileList 呼び出し");
        if (Server_CreateFileList(pstructWork->pcharPath, pstructWork->pstructSharedFolderList, &pcharFileList,
                                  &pstructWork->longResultLength) != 0) {
            LOG_TRACE("Server_CreateFileList 異常終了");
            return -1;
        }
        pstructWork->pucharResult = reinterpret_cast<unsigned char *>(pcharFileList);
        return 0;
    }

    Server_LogTargetPath(pstructWork->pcharPath, D_LONG_LOG_ACCESSKIND_DOWNLOAD_FILE);
    // Only files inside the shared folders are given out.
    Server_PathRules structRules;
    Server_GetPlatformPathRules(&structRules);
    Server_PublishedPath structPublished;
    LOG_TRACE("Server_FindPublishedPath 呼び出し");
    if (Server_FindPublishedPath(pstructWork->pcharPath, pstructWork->pstructSharedFolderList, &structRules,
                                 &structPublished) != 0) {
        LOG_TRACE("Server_LoadFileData 異常終了");
        return -1;
    }
    LOG_TRACE("Server_LoadFileData 呼び出し");
    if (Server_LoadFileData(pstructWork->pcharPath, longOffset, &pstructWork->pucharResult,
                            &pstructWork->longResultLength) != 0) {
        LOG_TRACE("Server_LoadFileData 異常終了");
        return -1;
    }
    return 0;
}

}  // namespace

int Server_PostProcess(char *pcharRequest, long longHeaderLength, long longBodyLength, unsigned char **ppucharBody,
                       long *plongBodyLength) {
    LOG_ENTER();
    Server_CommandWork structWork;
    memset(&structWork, 0, sizeof(structWork));
    // The password is taken once; a change in the settings meanwhile applies from the next command on.
    LOG_TRACE("Config_CopyCryptPassword 呼び出し");
    if (Config_CopyCryptPassword(structWork.charPassword, sizeof(structWork.charPassword)) != 0) {
        LOG_TRACE("Config_CopyCryptPassword 異常終了");
    }

    if (Server_ReadCommandLine(pcharRequest, longHeaderLength, longBodyLength, &structWork) != 0 ||
        Server_RunCommand(&structWork) != 0) {
        Server_ReleaseCommand(&structWork);
        LOG_LEAVE_NG();
        return -1;
    }

    unsigned char *pucharEnvelope = nullptr;
    long longEnvelopeLength = 0;
    LOG_TRACE("Cryrpt_Encrypt 呼び出し");
    if (Cryrpt_Encrypt(structWork.pucharResult, structWork.longResultLength, structWork.charPassword, &pucharEnvelope,
                       &longEnvelopeLength) != 0) {
        LOG_TRACE("Cryrpt_Encrypt 異常終了");
        Server_ReleaseCommand(&structWork);
        LOG_LEAVE_NG();
        return -1;
    }
    Server_ReleaseCommand(&structWork);
    *ppucharBody = pucharEnvelope;
    *plongBodyLength = longEnvelopeLength;
    LOG_LEAVE_OK();
    return 0;
}
