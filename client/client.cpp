// sorvane-client: the pieces of the command protocol, and the exchange with a server.
#include "client/client.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crypt/crypt.h"
#include "text/text.h"

namespace {

constexpr char D_CHAR_CLIENT_REQUEST_FORMAT[] = "POST /ftp.cgi HTTP/1.1\r\nHost: %s:%ld\r\nContent-Length: %ld\r\n\r\n";
constexpr long D_LONG_CLIENT_LISTING_FIELDS = 6;
constexpr long D_LONG_CLIENT_PROGRESS_BAR = 30;
constexpr char D_CHAR_CLIENT_COLUMN_GAP[] = "  ";

void Client_SetMessage(char *pcharMessage, size_t sizeMessage, const char *pcharText, const char *pcharDetail) {
    if (sizeMessage == 0) return;
    int intLength = snprintf(pcharMessage, sizeMessage, pcharText, pcharDetail);
    // A message cut to its buffer ends on a whole character, so that it still converts for the terminal.
    if (intLength > 0 && static_cast<size_t>(intLength) >= sizeMessage) {
        pcharMessage[Text_WholeCharacters(pcharMessage, strlen(pcharMessage))] = '\0';
    }
}

// The same with an argument as it came from the terminal: it is put into the CP932 message in CP932.
// When it cannot be converted, or is too long, its bytes outside printable ASCII are shown as '?'.
void Client_SetArgumentMessage(char *pcharMessage, size_t sizeMessage, const char *pcharText,
                               const char *pcharArgument) {
    char charArgument[D_SIZE_CLIENT_MESSAGE];
    if (Platform_TerminalTextToText(pcharArgument, charArgument, sizeof(charArgument)) != 0) {
        size_t sizeLength = 0;
        for (; pcharArgument[sizeLength] != '\0' && sizeLength + 1 < sizeof(charArgument); ++sizeLength) {
            unsigned char ucharByte = static_cast<unsigned char>(pcharArgument[sizeLength]);
            charArgument[sizeLength] = (ucharByte < 0x20 || ucharByte >= 0x7F) ? '?' : pcharArgument[sizeLength];
        }
        charArgument[sizeLength] = '\0';
    }
    Client_SetMessage(pcharMessage, sizeMessage, pcharText, charArgument);
}

// Copies a text from the terminal into a CP932 field. 0, or -1 when it cannot be converted or does not fit.
int Client_TakeArgument(const char *pcharArgument, char *pcharField, size_t sizeField) {
    return Platform_TerminalTextToText(pcharArgument, pcharField, sizeField);
}

// The value of an option given as "--name=value" or as "--name value". nullptr when it is missing.
const char *Client_OptionValue(int intArgc, char **ppcharArgv, int *pintIndex, const char *pcharName) {
    const char *pcharArgument = ppcharArgv[*pintIndex];
    size_t sizeName = strlen(pcharName);
    if (strncmp(pcharArgument, pcharName, sizeName) == 0 && pcharArgument[sizeName] == '=') {
        return pcharArgument + sizeName + 1;
    }
    if (*pintIndex + 1 >= intArgc) return nullptr;
    *pintIndex += 1;
    return ppcharArgv[*pintIndex];
}

// Whether the argument is the option, alone or in its "--name=value" form.
bool Client_IsOption(const char *pcharArgument, const char *pcharName) {
    size_t sizeName = strlen(pcharName);
    return strncmp(pcharArgument, pcharName, sizeName) == 0 &&
           (pcharArgument[sizeName] == '\0' || pcharArgument[sizeName] == '=');
}

bool Client_IsWhiteSpace(unsigned char ucharByte) {
    return ucharByte == ' ' || ucharByte == '\t' || ucharByte == '\n' || ucharByte == '\v' || ucharByte == '\f' ||
           ucharByte == '\r';
}

// The first position from longIndex on, before longEnd, that is not a blank or a TAB.
long Client_SkipBlanks(const char *pcharBytes, long longIndex, long longEnd) {
    while (longIndex < longEnd && (pcharBytes[longIndex] == ' ' || pcharBytes[longIndex] == '\t')) ++longIndex;
    return longIndex;
}

bool Client_IsTrailByte(unsigned char ucharByte) {
    return (ucharByte >= 0x40 && ucharByte <= 0x7E) || (ucharByte >= 0x80 && ucharByte <= 0xFC);
}

// A text from the server made safe for a terminal: control bytes and broken double-byte characters
// become '?', so that no escape sequence reaches the terminal and no lead byte swallows the padding.
// Writes at most sizeOut - 1 bytes and a NUL; gives back the bytes written.
size_t Client_CleanCell(const char *pcharText, char *pcharOut, size_t sizeOut) {
    size_t sizeWritten = 0;
    const unsigned char *pucharText = reinterpret_cast<const unsigned char *>(pcharText);
    while (*pucharText != '\0' && sizeWritten + 1 < sizeOut) {
        unsigned char ucharByte = *pucharText;
        if (Text_IsLeadByte(ucharByte)) {
            if (Client_IsTrailByte(pucharText[1]) && sizeWritten + 2 < sizeOut) {
                pcharOut[sizeWritten++] = static_cast<char>(ucharByte);
                pcharOut[sizeWritten++] = static_cast<char>(pucharText[1]);
                pucharText += 2;
                continue;
            }
            pcharOut[sizeWritten++] = '?';
            pucharText += 1;
            continue;
        }
        pcharOut[sizeWritten++] = (ucharByte < 0x20 || ucharByte == 0x7F) ? '?' : static_cast<char>(ucharByte);
        pucharText += 1;
    }
    pcharOut[sizeWritten] = '\0';
    return sizeWritten;
}

// The last separator ('\' or '/') of a CP932 path, outside double-byte characters; nullptr when none.
const char *Client_FindLastSeparator(const char *pcharPath) {
    const char *pcharBackslash = Text_FindLastCharacter(pcharPath, '\\');
    const char *pcharSlash = Text_FindLastCharacter(pcharPath, '/');
    if (pcharBackslash == nullptr) return pcharSlash;
    if (pcharSlash == nullptr) return pcharBackslash;
    return pcharBackslash > pcharSlash ? pcharBackslash : pcharSlash;
}

// The four cells of an entry's line in the table: name, type or size, time, physical path.
void Client_EntryCells(const Client_ListingEntry &structEntry, const char *ppcharCells[4]) {
    ppcharCells[0] = structEntry.charFileName;
    ppcharCells[1] = structEntry.charFileType[0] != '\0' ? structEntry.charFileType : structEntry.charFileSize;
    ppcharCells[2] = structEntry.charUpdateTime;
    ppcharCells[3] = structEntry.charPhysicalPath;
}

// Appends a cell and, unless it is the last of its line, blanks up to the column's width and the gap.
void Client_AppendCell(char *pcharTable, size_t *psizeUsed, const char *pcharCell, size_t sizeWidth, bool boolLast) {
    size_t sizeCell = strlen(pcharCell);
    memcpy(pcharTable + *psizeUsed, pcharCell, sizeCell);
    *psizeUsed += sizeCell;
    if (boolLast) {
        // No blanks at the end of a line whose last cells are empty.
        while (*psizeUsed > 0 && pcharTable[*psizeUsed - 1] == ' ') --*psizeUsed;
        pcharTable[(*psizeUsed)++] = '\n';
        return;
    }
    for (size_t sizePad = sizeCell; sizePad < sizeWidth; ++sizePad) pcharTable[(*psizeUsed)++] = ' ';
    memcpy(pcharTable + *psizeUsed, D_CHAR_CLIENT_COLUMN_GAP, sizeof(D_CHAR_CLIENT_COLUMN_GAP) - 1);
    *psizeUsed += sizeof(D_CHAR_CLIENT_COLUMN_GAP) - 1;
}

// A byte count for people: bytes below 10 KiB, then KiB, MiB or GiB with one decimal.
void Client_FormatSize(long long longlongBytes, char *pcharText, size_t sizeText) {
    if (longlongBytes < 10 * 1024LL) {
        snprintf(pcharText, sizeText, "%lld B", longlongBytes);
    } else if (longlongBytes < 1024LL * 1024) {
        snprintf(pcharText, sizeText, "%.1f KiB", static_cast<double>(longlongBytes) / 1024.0);
    } else if (longlongBytes < 1024LL * 1024 * 1024) {
        snprintf(pcharText, sizeText, "%.1f MiB", static_cast<double>(longlongBytes) / (1024.0 * 1024.0));
    } else {
        snprintf(pcharText, sizeText, "%.1f GiB", static_cast<double>(longlongBytes) / (1024.0 * 1024.0 * 1024.0));
    }
}

// Waits for the server and receives into the buffer: bytes received, 0 when it closed, -1 on an error
// or after D_LONG_CLIENT_RECEIVE_WAIT_SECONDS of silence.
long Client_Receive(Platform_Socket socketServer, unsigned char *pucharBuffer, long longSize) {
    if (Platform_SocketWaitReadable(socketServer, D_LONG_CLIENT_RECEIVE_WAIT_SECONDS) != 1) return -1;
    return Platform_SocketReceive(socketServer, reinterpret_cast<char *>(pucharBuffer), longSize);
}

int Client_FailExchange(Client_Exchange *pstructExchange, long *plongOutcome, long longOutcome) {
    Client_EndExchange(pstructExchange);
    *plongOutcome = longOutcome;
    return -1;
}

}  // namespace

int Client_ParseArguments(int intArgc, char **ppcharArgv, const char *pcharEnvironmentPassword,
                          Client_Options *pstructOptions, char *pcharMessage, size_t sizeMessage) {
    memset(pstructOptions, 0, sizeof(*pstructOptions));
    snprintf(pstructOptions->charHost, sizeof(pstructOptions->charHost), "%s", D_CHAR_CLIENT_DEFAULT_HOST);
    pstructOptions->longPort = D_LONG_CLIENT_DEFAULT_PORT;
    pstructOptions->longCommand = -1;
    const char *pcharPassword = nullptr;
    const char *pcharPath = nullptr;
    const char *pcharOutput = nullptr;
    bool boolOptionsEnded = false;

    for (int intIndex = 1; intIndex < intArgc; ++intIndex) {
        const char *pcharArgument = ppcharArgv[intIndex];
        bool boolOption = !boolOptionsEnded && pcharArgument[0] == '-' && pcharArgument[1] != '\0';
        if (boolOption && strcmp(pcharArgument, "--") == 0) {
            boolOptionsEnded = true;
            continue;
        }
        if (boolOption && (strcmp(pcharArgument, "-h") == 0 || strcmp(pcharArgument, "--help") == 0)) {
            pstructOptions->longCommand = D_LONG_CLIENT_COMMAND_HELP;
            return 0;
        }
        if (boolOption) {
            static const char *const ppcharValueOptions[] = {"--host", "--port", "--password", "--output", "-o"};
            const char *pcharName = nullptr;
            for (const char *pcharCandidate : ppcharValueOptions) {
                if (Client_IsOption(pcharArgument, pcharCandidate)) {
                    pcharName = pcharCandidate;
                    break;
                }
            }
            if (pcharName == nullptr) {
                Client_SetArgumentMessage(pcharMessage, sizeMessage, "不明なオプションです: %s", pcharArgument);
                return -1;
            }
            const char *pcharValue = Client_OptionValue(intArgc, ppcharArgv, &intIndex, pcharName);
            if (pcharValue == nullptr) {
                Client_SetMessage(pcharMessage, sizeMessage, "オプション %s には値が必要です", pcharName);
                return -1;
            }
            if (strcmp(pcharName, "--host") == 0) {
                if (pcharValue[0] == '\0' ||
                    snprintf(pstructOptions->charHost, sizeof(pstructOptions->charHost), "%s", pcharValue) >=
                        static_cast<int>(sizeof(pstructOptions->charHost))) {
                    Client_SetMessage(pcharMessage, sizeMessage, "%s: ホスト名が空か長すぎます", "--host");
                    return -1;
                }
            } else if (strcmp(pcharName, "--port") == 0) {
                char *pcharEnd = nullptr;
                long longPort = strtol(pcharValue, &pcharEnd, 10);
                if (pcharEnd == pcharValue || *pcharEnd != '\0' || longPort < 1 || longPort > 65535) {
                    Client_SetArgumentMessage(pcharMessage, sizeMessage,
                                              "--port: %s はポート番号 (1-65535) ではありません", pcharValue);
                    return -1;
                }
                pstructOptions->longPort = longPort;
            } else if (strcmp(pcharName, "--password") == 0) {
                pcharPassword = pcharValue;
            } else {
                pcharOutput = pcharValue;
            }
            continue;
        }
        if (pstructOptions->longCommand == -1) {
            if (strcmp(pcharArgument, "ls") == 0) {
                pstructOptions->longCommand = D_LONG_CLIENT_COMMAND_LIST;
            } else if (strcmp(pcharArgument, "get") == 0) {
                pstructOptions->longCommand = D_LONG_CLIENT_COMMAND_GET;
            } else {
                Client_SetArgumentMessage(pcharMessage, sizeMessage,
                                          "不明なコマンドです: %s (ls か get を指定してください)", pcharArgument);
                return -1;
            }
        } else if (pcharPath == nullptr) {
            pcharPath = pcharArgument;
        } else {
            Client_SetArgumentMessage(pcharMessage, sizeMessage, "引数が多すぎます (%s)", pcharArgument);
            return -1;
        }
    }

    if (pstructOptions->longCommand == -1) {
        Client_SetMessage(pcharMessage, sizeMessage, "%s",
                          "コマンドが指定されていません (ls か get を指定してください)");
        return -1;
    }
    if (pcharPath == nullptr) {
        Client_SetMessage(pcharMessage, sizeMessage, "%s", "パスが指定されていません");
        return -1;
    }
    if (pcharOutput != nullptr && pstructOptions->longCommand != D_LONG_CLIENT_COMMAND_GET) {
        Client_SetMessage(pcharMessage, sizeMessage, "%s", "-o は get でしか使えません");
        return -1;
    }
    if (Client_TakeArgument(pcharPath, pstructOptions->charPath, sizeof(pstructOptions->charPath)) != 0) {
        Client_SetMessage(
            pcharMessage, sizeMessage, "%s",
            "パスが長すぎるか、端末の文字コードで書かれていないか、CP932 で表せない文字を含んでいます");
        return -1;
    }
    if (pcharOutput != nullptr) {
        if (pcharOutput[0] == '\0' ||
            Client_TakeArgument(pcharOutput, pstructOptions->charOutput, sizeof(pstructOptions->charOutput)) != 0) {
            Client_SetMessage(pcharMessage, sizeMessage, "%s",
                              "-o: ファイル名が空か長すぎるか、CP932 で表せない文字を含んでいます");
            return -1;
        }
    }
    if (pcharPassword == nullptr && pcharEnvironmentPassword != nullptr && pcharEnvironmentPassword[0] != '\0') {
        pcharPassword = pcharEnvironmentPassword;
    }
    if (pcharPassword == nullptr) pcharPassword = D_CHAR_CLIENT_DEFAULT_PASSWORD;
    if (pcharPassword[0] == '\0' ||
        Client_TakeArgument(pcharPassword, pstructOptions->charPassword, sizeof(pstructOptions->charPassword)) != 0) {
        Client_SetMessage(pcharMessage, sizeMessage, "%s",
                          "パスワードが空か長すぎるか、CP932 で表せない文字を含んでいます");
        return -1;
    }
    return 0;
}

int Client_CheckPath(const char *pcharPath) {
    if (pcharPath == nullptr || pcharPath[0] == '\0') return -1;
    // CP932 trail bytes are 0x40 or above, so a byte-wise search finds only real white space.
    for (const unsigned char *pucharByte = reinterpret_cast<const unsigned char *>(pcharPath); *pucharByte != '\0';
         ++pucharByte) {
        if (Client_IsWhiteSpace(*pucharByte)) return -1;
    }
    return 0;
}

int Client_FormatListCommand(const char *pcharPath, char *pcharLine, size_t sizeLine) {
    if (Client_CheckPath(pcharPath) != 0) return -1;
    int intLength = snprintf(pcharLine, sizeLine, "ls\t%s\r\n", pcharPath);
    return (intLength < 0 || static_cast<size_t>(intLength) >= sizeLine) ? -1 : 0;
}

int Client_FormatGetCommand(const char *pcharPath, long long longlongOffset, char *pcharLine, size_t sizeLine) {
    if (Client_CheckPath(pcharPath) != 0 || longlongOffset < 0 || longlongOffset > D_LONGLONG_CLIENT_WIRE_MAX) {
        return -1;
    }
    int intLength = snprintf(pcharLine, sizeLine, "get\t%s\t%ld\r\n", pcharPath, static_cast<long>(longlongOffset));
    return (intLength < 0 || static_cast<size_t>(intLength) >= sizeLine) ? -1 : 0;
}

long Client_RequestLength(const char *pcharHost, long longPort, long longCommandLength) {
    long longBodyLength = D_LONG_CLIENT_ENVELOPE_HEADER + longCommandLength;
    int intHeaderLength = snprintf(nullptr, 0, D_CHAR_CLIENT_REQUEST_FORMAT, pcharHost, longPort, longBodyLength);
    return static_cast<long>(intHeaderLength) + longBodyLength;
}

int Client_BuildRequest(const char *pcharHost, long longPort, const char *pcharCommandLine, const char *pcharPassword,
                        char **ppcharRequest, long *plongRequestLength) {
    long longCommandLength = static_cast<long>(strlen(pcharCommandLine));
    long longRequestLength = Client_RequestLength(pcharHost, longPort, longCommandLength);
    if (longRequestLength > D_LONG_CLIENT_REQUEST_LIMIT) return -1;
    unsigned char *pucharEnvelope = nullptr;
    long longEnvelopeLength = 0;
    if (Cryrpt_Encrypt(reinterpret_cast<const unsigned char *>(pcharCommandLine), longCommandLength, pcharPassword,
                       &pucharEnvelope, &longEnvelopeLength) != 0) {
        return -1;
    }
    // One byte more than the request, for snprintf's NUL after the header.
    char *pcharRequest = static_cast<char *>(malloc(static_cast<size_t>(longRequestLength) + 1));
    if (pcharRequest == nullptr) {
        free(pucharEnvelope);
        return -1;
    }
    int intHeaderLength = snprintf(pcharRequest, static_cast<size_t>(longRequestLength) + 1,
                                   D_CHAR_CLIENT_REQUEST_FORMAT, pcharHost, longPort, longEnvelopeLength);
    memcpy(pcharRequest + intHeaderLength, pucharEnvelope, static_cast<size_t>(longEnvelopeLength));
    free(pucharEnvelope);
    *ppcharRequest = pcharRequest;
    *plongRequestLength = longRequestLength;
    return 0;
}

long Client_FindHeaderEnd(const char *pcharBytes, long longLength) {
    for (long longIndex = 0; longIndex + 4 <= longLength; ++longIndex) {
        if (memcmp(pcharBytes + longIndex, "\r\n\r\n", 4) == 0) return longIndex + 4;
    }
    return -1;
}

int Client_ParseAnswerHeader(const char *pcharBytes, long longHeaderLength, Client_AnswerHeader *pstructHeader) {
    // "HTTP/1.x NNN", then a blank or the end of the line.
    if (longHeaderLength < 12 || memcmp(pcharBytes, "HTTP/1.", 7) != 0 || pcharBytes[7] < '0' || pcharBytes[7] > '9' ||
        pcharBytes[8] != ' ') {
        return -1;
    }
    long longStatus = 0;
    for (long longIndex = 9; longIndex < 12; ++longIndex) {
        if (pcharBytes[longIndex] < '0' || pcharBytes[longIndex] > '9') return -1;
        longStatus = longStatus * 10 + (pcharBytes[longIndex] - '0');
    }
    if (pcharBytes[12] != ' ' && pcharBytes[12] != '\r') return -1;

    long long longlongContentLength = -1;
    static const char charName[] = "content-length:";
    const long longNameLength = static_cast<long>(sizeof(charName) - 1);
    long longLineStart = 0;
    while (longLineStart < longHeaderLength) {
        long longLineEnd = longLineStart;
        while (longLineEnd + 1 < longHeaderLength &&
               !(pcharBytes[longLineEnd] == '\r' && pcharBytes[longLineEnd + 1] == '\n')) {
            ++longLineEnd;
        }
        if (longLineEnd + 1 >= longHeaderLength) break;
        bool boolMatch = longLineEnd - longLineStart >= longNameLength;
        for (long longIndex = 0; boolMatch && longIndex < longNameLength; ++longIndex) {
            char charByte = pcharBytes[longLineStart + longIndex];
            if (charByte >= 'A' && charByte <= 'Z') charByte = static_cast<char>(charByte - 'A' + 'a');
            boolMatch = charByte == charName[longIndex];
        }
        if (boolMatch) {
            long longIndex = longLineStart + longNameLength;
            longIndex = Client_SkipBlanks(pcharBytes, longIndex, longLineEnd);
            long long longlongValue = 0;
            long longDigits = 0;
            while (longIndex < longLineEnd && pcharBytes[longIndex] >= '0' && pcharBytes[longIndex] <= '9') {
                longlongValue = longlongValue * 10 + (pcharBytes[longIndex] - '0');
                if (longlongValue > D_LONGLONG_CLIENT_WIRE_MAX) return -1;
                ++longIndex;
                ++longDigits;
            }
            longIndex = Client_SkipBlanks(pcharBytes, longIndex, longLineEnd);
            if (longDigits == 0 || longIndex != longLineEnd) return -1;
            if (longlongContentLength != -1 && longlongContentLength != longlongValue) return -1;
            longlongContentLength = longlongValue;
        }
        longLineStart = longLineEnd + 2;
    }
    pstructHeader->longHeaderLength = longHeaderLength;
    pstructHeader->longStatus = longStatus;
    pstructHeader->longlongContentLength = longlongContentLength;
    return 0;
}

int Client_CheckEnvelopeHeader(const unsigned char *pucharEnvelopeHeader, const char *pcharPassword) {
    unsigned char *pucharPayload = nullptr;
    long longPayloadLength = 0;
    if (Cryrpt_Decrypt(pucharEnvelopeHeader, D_LONG_CLIENT_ENVELOPE_HEADER, pcharPassword, &pucharPayload,
                       &longPayloadLength) != 0) {
        return -1;
    }
    free(pucharPayload);
    return 0;
}

int Client_DecipherPiece(const unsigned char *pucharEnvelopeHeader, unsigned char *pucharPiece, long longLength,
                         const char *pcharPassword) {
    if (longLength <= 0) return Client_CheckEnvelopeHeader(pucharEnvelopeHeader, pcharPassword);
    // The opening followed by the piece is an envelope of the piece.
    unsigned char *pucharEnvelope =
        static_cast<unsigned char *>(malloc(static_cast<size_t>(D_LONG_CLIENT_ENVELOPE_HEADER + longLength)));
    if (pucharEnvelope == nullptr) return -1;
    memcpy(pucharEnvelope, pucharEnvelopeHeader, D_LONG_CLIENT_ENVELOPE_HEADER);
    memcpy(pucharEnvelope + D_LONG_CLIENT_ENVELOPE_HEADER, pucharPiece, static_cast<size_t>(longLength));
    unsigned char *pucharPayload = nullptr;
    long longPayloadLength = 0;
    int intResult = Cryrpt_Decrypt(pucharEnvelope, D_LONG_CLIENT_ENVELOPE_HEADER + longLength, pcharPassword,
                                   &pucharPayload, &longPayloadLength);
    free(pucharEnvelope);
    if (intResult != 0) return -1;
    memcpy(pucharPiece, pucharPayload, static_cast<size_t>(longPayloadLength));
    free(pucharPayload);
    return 0;
}

int Client_ParseListing(const unsigned char *pucharText, long longLength, Client_ListingEntry **ppstructEntries,
                        long *plongCount) {
    const char *pcharText = reinterpret_cast<const char *>(pucharText);
    long longLines = 0;
    for (long longIndex = 0; longIndex + 1 < longLength; ++longIndex) {
        if (pcharText[longIndex] == '\r' && pcharText[longIndex + 1] == '\n') ++longLines;
    }
    Client_ListingEntry *pstructEntries = nullptr;
    if (longLines > 0) {
        pstructEntries =
            static_cast<Client_ListingEntry *>(calloc(static_cast<size_t>(longLines), sizeof(Client_ListingEntry)));
        if (pstructEntries == nullptr) return -1;
    }
    long longCount = 0;
    long longStart = 0;
    while (longStart < longLength) {
        long longEnd = longStart;
        while (longEnd + 1 < longLength && !(pcharText[longEnd] == '\r' && pcharText[longEnd + 1] == '\n')) ++longEnd;
        if (longEnd + 1 >= longLength) break;  // the rest has no CR LF
        Client_ListingEntry *pstructEntry = &pstructEntries[longCount];
        char *ppcharFields[D_LONG_CLIENT_LISTING_FIELDS] = {
            pstructEntry->charFileName,   pstructEntry->charFileType,     pstructEntry->charFileSize,
            pstructEntry->charUpdateTime, pstructEntry->charPhysicalPath, pstructEntry->charLogicalPath};
        const size_t sizeFields[D_LONG_CLIENT_LISTING_FIELDS] = {
            sizeof(pstructEntry->charFileName),     sizeof(pstructEntry->charFileType),
            sizeof(pstructEntry->charFileSize),     sizeof(pstructEntry->charUpdateTime),
            sizeof(pstructEntry->charPhysicalPath), sizeof(pstructEntry->charLogicalPath)};
        long longField = 0;
        long longFieldStart = longStart;
        bool boolGood = true;
        // Each TAB, and the line's end, closes a field.
        for (long longIndex = longStart; longIndex <= longEnd; ++longIndex) {
            if (longIndex < longEnd) {
                if (pcharText[longIndex] == '\0') {
                    boolGood = false;
                    break;
                }
                if (pcharText[longIndex] != '\t') continue;
            }
            size_t sizeField = static_cast<size_t>(longIndex - longFieldStart);
            if (longField >= D_LONG_CLIENT_LISTING_FIELDS || sizeField + 1 > sizeFields[longField]) {
                boolGood = false;
                break;
            }
            memcpy(ppcharFields[longField], pcharText + longFieldStart, sizeField);
            ppcharFields[longField][sizeField] = '\0';
            ++longField;
            longFieldStart = longIndex + 1;
        }
        if (!boolGood || longField != D_LONG_CLIENT_LISTING_FIELDS) break;
        ++longCount;
        longStart = longEnd + 2;
    }
    if (longStart != longLength) {
        free(pstructEntries);
        return -1;
    }
    *ppstructEntries = pstructEntries;
    *plongCount = longCount;
    return 0;
}

int Client_FormatListing(const Client_ListingEntry *pstructEntries, long longCount, char **ppcharTable) {
    static const char *const ppcharHeadings[4] = {"名前", "サイズ", "更新日時", "パス"};
    size_t sizeWidths[4];
    for (long longColumn = 0; longColumn < 4; ++longColumn) sizeWidths[longColumn] = strlen(ppcharHeadings[longColumn]);
    char charCell[512];
    // First pass: the widths of the columns, measured on the cells as they will be shown.
    for (long longIndex = 0; longIndex < longCount; ++longIndex) {
        const char *ppcharCells[4];
        Client_EntryCells(pstructEntries[longIndex], ppcharCells);
        for (long longColumn = 0; longColumn < 4; ++longColumn) {
            size_t sizeCell = Client_CleanCell(ppcharCells[longColumn], charCell, sizeof(charCell));
            if (sizeCell > sizeWidths[longColumn]) sizeWidths[longColumn] = sizeCell;
        }
    }
    size_t sizeLineCapacity = 0;
    for (long longColumn = 0; longColumn < 4; ++longColumn) sizeLineCapacity += sizeWidths[longColumn] + 2;
    size_t sizeTable = sizeLineCapacity * static_cast<size_t>(longCount + 1) + 1;
    char *pcharTable = static_cast<char *>(malloc(sizeTable));
    if (pcharTable == nullptr) return -1;
    size_t sizeUsed = 0;
    for (long longColumn = 0; longColumn < 4; ++longColumn) {
        Client_AppendCell(pcharTable, &sizeUsed, ppcharHeadings[longColumn], sizeWidths[longColumn], longColumn == 3);
    }
    for (long longIndex = 0; longIndex < longCount; ++longIndex) {
        const char *ppcharCells[4];
        Client_EntryCells(pstructEntries[longIndex], ppcharCells);
        for (long longColumn = 0; longColumn < 4; ++longColumn) {
            Client_CleanCell(ppcharCells[longColumn], charCell, sizeof(charCell));
            Client_AppendCell(pcharTable, &sizeUsed, charCell, sizeWidths[longColumn], longColumn == 3);
        }
    }
    pcharTable[sizeUsed] = '\0';
    *ppcharTable = pcharTable;
    return 0;
}

long Client_FindEntry(const Client_ListingEntry *pstructEntries, long longCount, const char *pcharPhysicalPath) {
    for (long longIndex = 0; longIndex < longCount; ++longIndex) {
        if (strcmp(pstructEntries[longIndex].charPhysicalPath, pcharPhysicalPath) == 0) return longIndex;
    }
    return -1;
}

int Client_ParentPath(const char *pcharRemotePath, char *pcharParent, size_t sizeParent) {
    const char *pcharSeparator = Client_FindLastSeparator(pcharRemotePath);
    if (pcharSeparator == nullptr || pcharSeparator == pcharRemotePath) return -1;
    size_t sizeLength = static_cast<size_t>(pcharSeparator - pcharRemotePath);
    if (sizeLength + 1 > sizeParent) return -1;
    memcpy(pcharParent, pcharRemotePath, sizeLength);
    pcharParent[sizeLength] = '\0';
    return 0;
}

int Client_DefaultOutputName(const char *pcharRemotePath, char *pcharName, size_t sizeName) {
    const char *pcharSeparator = Client_FindLastSeparator(pcharRemotePath);
    const char *pcharLast = pcharSeparator != nullptr ? pcharSeparator + 1 : pcharRemotePath;
    if (pcharLast[0] == '\0' || strcmp(pcharLast, ".") == 0 || strcmp(pcharLast, "..") == 0) return -1;
    // Bytes that would make the name something other than a plain file on Windows (a stream after
    // ':', a wildcard, a redirection) are not taken from a remote name; -o can still give them.
    const unsigned char *pucharByte = reinterpret_cast<const unsigned char *>(pcharLast);
    while (*pucharByte != '\0') {
        if (Text_IsLeadByte(*pucharByte) && pucharByte[1] != '\0') {
            pucharByte += 2;
            continue;
        }
        if (*pucharByte < 0x20 || strchr(":*?\"<>|", *pucharByte) != nullptr) return -1;
        ++pucharByte;
    }
    size_t sizeLength = strlen(pcharLast);
    if (sizeLength + 1 > sizeName) return -1;
    memcpy(pcharName, pcharLast, sizeLength + 1);
    return 0;
}

int Client_GetLocalFileSize(const char *pcharLocalPath, long long *plonglongSize) {
    FILE *pfileLocal = Platform_OpenFile(pcharLocalPath, "rb");
    if (pfileLocal == nullptr) {
        // Nothing to resume. Should the file exist after all (unreadable), opening it for appending
        // finds it longer than the offset and the download stops there.
        *plonglongSize = 0;
        return 0;
    }
    // A folder opens on some systems but cannot be read.
    int intFirst = fgetc(pfileLocal);
    bool boolReadable = !(intFirst == EOF && ferror(pfileLocal));
    long longSize = -1;
    if (boolReadable && fseek(pfileLocal, 0, SEEK_END) == 0) longSize = ftell(pfileLocal);
    fclose(pfileLocal);
    if (longSize < 0) return -1;
    *plonglongSize = longSize;
    return 0;
}

int Client_FormatProgress(long long longlongDone, long long longlongTotal, char *pcharLine, size_t sizeLine) {
    long longFilled = D_LONG_CLIENT_PROGRESS_BAR;
    long longPercent = 100;
    if (longlongTotal > 0 && longlongDone < longlongTotal) {
        longFilled = static_cast<long>(longlongDone * D_LONG_CLIENT_PROGRESS_BAR / longlongTotal);
        longPercent = static_cast<long>(longlongDone * 100 / longlongTotal);
    }
    char charBar[D_LONG_CLIENT_PROGRESS_BAR + 1];
    for (long longIndex = 0; longIndex < D_LONG_CLIENT_PROGRESS_BAR; ++longIndex) {
        charBar[longIndex] = longIndex < longFilled ? '#' : '-';
    }
    charBar[D_LONG_CLIENT_PROGRESS_BAR] = '\0';
    char charDone[32];
    char charTotal[32];
    Client_FormatSize(longlongDone, charDone, sizeof(charDone));
    Client_FormatSize(longlongTotal, charTotal, sizeof(charTotal));
    int intLength = snprintf(pcharLine, sizeLine, "\r[%s] %3ld%%  %s / %s ", charBar, longPercent, charDone, charTotal);
    return (intLength < 0 || static_cast<size_t>(intLength) >= sizeLine) ? -1 : 0;
}

int Client_StartExchange(const char *pcharHost, long longPort, const char *pcharPassword, const char *pcharRequest,
                         long longRequestLength, Client_Exchange *pstructExchange, long *plongOutcome) {
    memset(pstructExchange, 0, sizeof(*pstructExchange));
    pstructExchange->socketServer = D_SOCKET_PLATFORM_INVALID;
    if (Platform_SocketConnect(pcharHost, longPort, &pstructExchange->socketServer) != 0) {
        pstructExchange->ulongSystemError = Platform_GetLastSocketError();
        pstructExchange->socketServer = D_SOCKET_PLATFORM_INVALID;
        return Client_FailExchange(pstructExchange, plongOutcome, D_LONG_CLIENT_EXIT_UNREACHABLE);
    }
    for (long longSent = 0; longSent < longRequestLength;) {
        long longResult =
            Platform_SocketSend(pstructExchange->socketServer, pcharRequest + longSent, longRequestLength - longSent);
        // A server that closes before it has the whole command has refused it.
        if (longResult <= 0) return Client_FailExchange(pstructExchange, plongOutcome, D_LONG_CLIENT_EXIT_REFUSED);
        longSent += longResult;
    }

    // The header, and after it the envelope's opening.
    unsigned char *pucharBuffer = pstructExchange->ucharBuffer;
    const long longBufferSize = static_cast<long>(sizeof(pstructExchange->ucharBuffer));
    long longReceived = 0;
    long longHeaderLength = -1;
    while (longHeaderLength < 0) {
        if (longReceived >= longBufferSize - D_LONG_CLIENT_ENVELOPE_HEADER) {
            return Client_FailExchange(pstructExchange, plongOutcome, D_LONG_CLIENT_EXIT_BAD_ANSWER);
        }
        long longResult = Client_Receive(pstructExchange->socketServer, pucharBuffer + longReceived,
                                         longBufferSize - D_LONG_CLIENT_ENVELOPE_HEADER - longReceived);
        if (longResult <= 0) {
            // Closed without a byte: the server's way of refusing a command.
            return Client_FailExchange(pstructExchange, plongOutcome,
                                       longReceived == 0 ? D_LONG_CLIENT_EXIT_REFUSED : D_LONG_CLIENT_EXIT_BAD_ANSWER);
        }
        longReceived += longResult;
        longHeaderLength = Client_FindHeaderEnd(reinterpret_cast<const char *>(pucharBuffer), longReceived);
    }
    Client_AnswerHeader structHeader;
    if (Client_ParseAnswerHeader(reinterpret_cast<const char *>(pucharBuffer), longHeaderLength, &structHeader) != 0) {
        return Client_FailExchange(pstructExchange, plongOutcome, D_LONG_CLIENT_EXIT_BAD_ANSWER);
    }
    pstructExchange->longStatus = structHeader.longStatus;
    if (structHeader.longStatus != 200 || structHeader.longlongContentLength < D_LONG_CLIENT_ENVELOPE_HEADER) {
        return Client_FailExchange(pstructExchange, plongOutcome, D_LONG_CLIENT_EXIT_BAD_ANSWER);
    }
    while (longReceived < longHeaderLength + D_LONG_CLIENT_ENVELOPE_HEADER) {
        long longResult =
            Client_Receive(pstructExchange->socketServer, pucharBuffer + longReceived, longBufferSize - longReceived);
        if (longResult <= 0) return Client_FailExchange(pstructExchange, plongOutcome, D_LONG_CLIENT_EXIT_BAD_ANSWER);
        longReceived += longResult;
    }
    memcpy(pstructExchange->ucharEnvelopeHeader, pucharBuffer + longHeaderLength, D_LONG_CLIENT_ENVELOPE_HEADER);
    if (Client_CheckEnvelopeHeader(pstructExchange->ucharEnvelopeHeader, pcharPassword) != 0) {
        return Client_FailExchange(pstructExchange, plongOutcome, D_LONG_CLIENT_EXIT_WRONG_PASSWORD);
    }
    pstructExchange->longPayloadLength =
        static_cast<long>(structHeader.longlongContentLength - D_LONG_CLIENT_ENVELOPE_HEADER);
    pstructExchange->longBufferStart = longHeaderLength + D_LONG_CLIENT_ENVELOPE_HEADER;
    pstructExchange->longBufferEnd = longReceived;
    *plongOutcome = D_LONG_CLIENT_EXIT_OK;
    return 0;
}

long Client_ReceivePayload(Client_Exchange *pstructExchange, const char *pcharPassword, unsigned char *pucharBuffer,
                           long longSize) {
    long longRemaining = pstructExchange->longPayloadLength - pstructExchange->longPayloadReceived;
    if (longRemaining <= 0) return 0;
    long longWanted = longSize < longRemaining ? longSize : longRemaining;
    long longGot = 0;
    long longPending = pstructExchange->longBufferEnd - pstructExchange->longBufferStart;
    if (longPending > 0) {
        longGot = longPending < longWanted ? longPending : longWanted;
        memcpy(pucharBuffer, pstructExchange->ucharBuffer + pstructExchange->longBufferStart,
               static_cast<size_t>(longGot));
        pstructExchange->longBufferStart += longGot;
    } else {
        longGot = Client_Receive(pstructExchange->socketServer, pucharBuffer, longWanted);
        if (longGot <= 0) return -1;
    }
    if (Client_DecipherPiece(pstructExchange->ucharEnvelopeHeader, pucharBuffer, longGot, pcharPassword) != 0) {
        return -1;
    }
    pstructExchange->longPayloadReceived += longGot;
    return longGot;
}

void Client_EndExchange(Client_Exchange *pstructExchange) {
    if (pstructExchange->socketServer != D_SOCKET_PLATFORM_INVALID) {
        Platform_SocketClose(pstructExchange->socketServer);
        pstructExchange->socketServer = D_SOCKET_PLATFORM_INVALID;
    }
}
