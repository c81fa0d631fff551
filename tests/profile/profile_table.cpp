#include "tests/profile/profile_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace {

// The state of the case that runs.
struct ProfileTable_Case {
    std::string stringName;
    std::string stringPath;      // the ini file
    std::string stringExpected;  // pieces of an expected file content not compared yet
    long longExpectLine;         // table line of the first such piece, 0 when there is none
};

int ProfileTable_HexDigit(char charDigit) {
    if (charDigit >= '0' && charDigit <= '9') return charDigit - '0';
    if (charDigit >= 'a' && charDigit <= 'f') return charDigit - 'a' + 10;
    if (charDigit >= 'A' && charDigit <= 'F') return charDigit - 'A' + 10;
    return -1;
}

// Reads one argument at *psizeAt: a bare word, or a quoted text with the escapes \r \n \t \\ \" \xHH
// and \R<count>,<hex bytes>; (the bytes repeated count times). false when the line has no more.
bool ProfileTable_NextArgument(const std::string &stringLine, size_t *psizeAt, std::string *pstringArgument,
                               std::string *pstringError) {
    size_t sizeAt = *psizeAt;
    while (sizeAt < stringLine.size() && stringLine[sizeAt] == ' ') ++sizeAt;
    if (sizeAt >= stringLine.size()) return false;
    pstringArgument->clear();
    if (stringLine[sizeAt] != '"') {
        while (sizeAt < stringLine.size() && stringLine[sizeAt] != ' ') *pstringArgument += stringLine[sizeAt++];
        *psizeAt = sizeAt;
        return true;
    }
    ++sizeAt;
    while (sizeAt < stringLine.size() && stringLine[sizeAt] != '"') {
        char charByte = stringLine[sizeAt++];
        if (charByte != '\\') {
            *pstringArgument += charByte;
            continue;
        }
        if (sizeAt >= stringLine.size()) break;
        char charEscape = stringLine[sizeAt++];
        switch (charEscape) {
        case 'r': *pstringArgument += '\r'; break;
        case 'n': *pstringArgument += '\n'; break;
        case 't': *pstringArgument += '\t'; break;
        case 'x': {
            int intHigh = sizeAt + 1 < stringLine.size() ? ProfileTable_HexDigit(stringLine[sizeAt]) : -1;
            int intLow = intHigh >= 0 ? ProfileTable_HexDigit(stringLine[sizeAt + 1]) : -1;
            if (intLow < 0) {
                *pstringError = "bad \\x escape";
                return false;
            }
            *pstringArgument += static_cast<char>(intHigh * 16 + intLow);
            sizeAt += 2;
            break;
        }
        case 'R': {
            size_t sizeComma = stringLine.find(',', sizeAt);
            size_t sizeSemicolon = stringLine.find(';', sizeAt);
            if (sizeComma == std::string::npos || sizeSemicolon == std::string::npos || sizeSemicolon < sizeComma) {
                *pstringError = "bad \\R escape";
                return false;
            }
            long longCount = strtol(stringLine.substr(sizeAt, sizeComma - sizeAt).c_str(), nullptr, 10);
            std::string stringBytes;
            for (size_t sizeHex = sizeComma + 1; sizeHex + 1 < sizeSemicolon; sizeHex += 2) {
                int intHigh = ProfileTable_HexDigit(stringLine[sizeHex]);
                int intLow = ProfileTable_HexDigit(stringLine[sizeHex + 1]);
                if (intHigh < 0 || intLow < 0) {
                    *pstringError = "bad \\R escape";
                    return false;
                }
                stringBytes += static_cast<char>(intHigh * 16 + intLow);
            }
            for (long longIndex = 0; longIndex < longCount; ++longIndex) *pstringArgument += stringBytes;
            sizeAt = sizeSemicolon + 1;
            break;
        }
        default: *pstringArgument += charEscape; break;
        }
    }
    if (sizeAt >= stringLine.size()) {
        *pstringError = "unterminated quote";
        return false;
    }
    *psizeAt = sizeAt + 1;
    return true;
}

// A text for a report: printable ASCII as it is, everything else escaped, long texts shortened.
std::string ProfileTable_Show(const std::string &stringText) {
    std::string stringShown = "\"";
    for (size_t sizeIndex = 0; sizeIndex < stringText.size(); ++sizeIndex) {
        if (stringShown.size() > 200) {
            stringShown += "...(" + std::to_string(stringText.size()) + " bytes)";
            break;
        }
        unsigned char ucharByte = static_cast<unsigned char>(stringText[sizeIndex]);
        char charEscaped[8];
        if (ucharByte == '\r') {
            stringShown += "\\r";
        } else if (ucharByte == '\n') {
            stringShown += "\\n";
        } else if (ucharByte < 0x20 || ucharByte >= 0x7F || ucharByte == '"' || ucharByte == '\\') {
            snprintf(charEscaped, sizeof(charEscaped), "\\x%02x", ucharByte);
            stringShown += charEscaped;
        } else {
            stringShown += static_cast<char>(ucharByte);
        }
    }
    return stringShown + "\"";
}

bool ProfileTable_IsBlank(char charByte) {
    unsigned char ucharByte = static_cast<unsigned char>(charByte);
    return (ucharByte >= 0x09 && ucharByte <= 0x0D) || ucharByte == 0x1A || ucharByte == 0x20;
}

std::string ProfileTable_Trim(const std::string &stringText) {
    size_t sizeFirst = 0;
    size_t sizeLast = stringText.size();
    while (sizeFirst < sizeLast && ProfileTable_IsBlank(stringText[sizeFirst])) ++sizeFirst;
    while (sizeLast > sizeFirst && ProfileTable_IsBlank(stringText[sizeLast - 1])) --sizeLast;
    return stringText.substr(sizeFirst, sizeLast - sizeFirst);
}

// The file's lines without blank lines and without blanks around names and "=", one LF after each.
// ("=" and brackets are never trail bytes of CP932, so a byte search is safe here.)
std::string ProfileTable_LooseLayout(const std::string &stringText) {
    std::string stringLoose;
    size_t sizeAt = 0;
    while (sizeAt < stringText.size()) {
        size_t sizeEnd = stringText.find_first_of("\r\n", sizeAt);
        if (sizeEnd == std::string::npos) sizeEnd = stringText.size();
        std::string stringLine = ProfileTable_Trim(stringText.substr(sizeAt, sizeEnd - sizeAt));
        sizeAt = stringText.find_first_not_of("\r\n", sizeEnd);
        if (sizeAt == std::string::npos) sizeAt = stringText.size();
        if (stringLine.empty()) continue;
        size_t sizeClose = stringLine.rfind(']');
        size_t sizeEqual = stringLine.find('=');
        if (stringLine[0] == '[' && sizeClose != std::string::npos && sizeClose > 0) {
            stringLine = "[" + ProfileTable_Trim(stringLine.substr(1, sizeClose - 1)) + "]";
        } else if (sizeEqual != std::string::npos) {
            stringLine = ProfileTable_Trim(stringLine.substr(0, sizeEqual)) + "=" +
                         ProfileTable_Trim(stringLine.substr(sizeEqual + 1));
        }
        stringLoose += stringLine + "\n";
    }
    return stringLoose;
}

bool ProfileTable_ReadFile(const std::string &stringPath, std::string *pstringText) {
    FILE *pfileRead = Platform_OpenFile(stringPath.c_str(), "rb");
    if (pfileRead == nullptr) return false;
    pstringText->clear();
    char charBuffer[4096];
    size_t sizeRead;
    while ((sizeRead = fread(charBuffer, 1, sizeof(charBuffer), pfileRead)) > 0) pstringText->append(charBuffer, sizeRead);
    fclose(pfileRead);
    return true;
}

void ProfileTable_Fail(ProfileTable_Result *pstructResult, long longLine, const ProfileTable_Case &structCase,
                       const std::string &stringWhat) {
    ++pstructResult->longFailures;
    pstructResult->stringReport +=
        "line " + std::to_string(longLine) + " (case " + structCase.stringName + "): " + stringWhat + "\n";
}

// Compares the expected file content gathered so far with the file, and forgets it.
void ProfileTable_CheckFile(ProfileTable_Case *pstructCase, bool boolLooseLayout, ProfileTable_Result *pstructResult) {
    if (pstructCase->longExpectLine == 0) return;
    ++pstructResult->longChecks;
    std::string stringActual;
    if (!ProfileTable_ReadFile(pstructCase->stringPath, &stringActual)) {
        ProfileTable_Fail(pstructResult, pstructCase->longExpectLine, *pstructCase, "the file cannot be read");
    } else {
        std::string stringExpected = pstructCase->stringExpected;
        if (boolLooseLayout) {
            stringExpected = ProfileTable_LooseLayout(stringExpected);
            stringActual = ProfileTable_LooseLayout(stringActual);
        }
        if (stringActual != stringExpected) {
            ProfileTable_Fail(pstructResult, pstructCase->longExpectLine, *pstructCase,
                              "file is " + ProfileTable_Show(stringActual) + ", expected " +
                                  ProfileTable_Show(stringExpected));
        }
    }
    pstructCase->stringExpected.clear();
    pstructCase->longExpectLine = 0;
}

}  // namespace

int ProfileTable_Run(const char *pcharTablePath, const char *pcharWorkFolder, bool boolLooseLayout,
                     ProfileTable_Result *pstructResult) {
    *pstructResult = ProfileTable_Result{0, 0, 0, ""};
    std::string stringTable;
    if (!ProfileTable_ReadFile(pcharTablePath, &stringTable)) {
        pstructResult->stringReport = std::string("cannot read the table ") + pcharTablePath + "\n";
        return -1;
    }
    const std::string stringFolder = std::string(pcharWorkFolder) + D_CHAR_PLATFORM_PATH_SEPARATOR;
    ProfileTable_Case structCase{"", "", "", 0};
    long longLine = 0;
    size_t sizeAt = 0;
    while (sizeAt < stringTable.size()) {
        size_t sizeEnd = stringTable.find('\n', sizeAt);
        if (sizeEnd == std::string::npos) sizeEnd = stringTable.size();
        std::string stringLine = stringTable.substr(sizeAt, sizeEnd - sizeAt);
        sizeAt = sizeEnd + 1;
        ++longLine;
        if (!stringLine.empty() && stringLine.back() == '\r') stringLine.pop_back();

        size_t sizeFirst = stringLine.find_first_not_of(' ');
        if (sizeFirst == std::string::npos || stringLine[sizeFirst] == '#') continue;
        std::vector<std::string> vectorArguments;
        std::string stringArgument;
        std::string stringError;
        size_t sizeArgument = 0;
        while (ProfileTable_NextArgument(stringLine, &sizeArgument, &stringArgument, &stringError)) {
            vectorArguments.push_back(stringArgument);
        }
        if (!stringError.empty()) {
            pstructResult->stringReport += "line " + std::to_string(longLine) + ": " + stringError + "\n";
            return -1;
        }
        if (vectorArguments.empty()) continue;
        const std::string &stringCommand = vectorArguments[0];
        if (stringCommand != "expect") ProfileTable_CheckFile(&structCase, boolLooseLayout, pstructResult);

        auto ArgumentCount = [&](size_t sizeMinimum, size_t sizeMaximum) {
            if (vectorArguments.size() >= sizeMinimum && vectorArguments.size() <= sizeMaximum) return true;
            pstructResult->stringReport += "line " + std::to_string(longLine) + ": wrong number of arguments\n";
            return false;
        };
        if (stringCommand == "case") {
            if (!ArgumentCount(2, 2)) return -1;
            if (!structCase.stringPath.empty()) Platform_DeleteFile(structCase.stringPath.c_str());
            structCase.stringName = vectorArguments[1];
            structCase.stringPath = stringFolder + "profile.ini";
            Platform_DeleteFile(structCase.stringPath.c_str());
            ++pstructResult->longCases;
        } else if (stringCommand == "file") {
            if (!ArgumentCount(2, 2)) return -1;
            structCase.stringPath = stringFolder + vectorArguments[1];
            Platform_DeleteFile(structCase.stringPath.c_str());
        } else if (stringCommand == "text") {
            if (!ArgumentCount(2, 2)) return -1;
            FILE *pfileWrite = Platform_OpenFile(structCase.stringPath.c_str(), "ab");
            if (pfileWrite == nullptr) {
                ProfileTable_Fail(pstructResult, longLine, structCase, "cannot write the ini file");
                continue;
            }
            fwrite(vectorArguments[1].data(), 1, vectorArguments[1].size(), pfileWrite);
            fclose(pfileWrite);
        } else if (stringCommand == "get") {
            // get SECTION KEY DEFAULT SIZE => COUNT [VALUE]
            if (!ArgumentCount(7, 8) || vectorArguments[5] != "=>") return -1;
            ++pstructResult->longChecks;
            size_t sizeOut = static_cast<size_t>(strtoul(vectorArguments[4].c_str(), nullptr, 10));
            std::vector<char> vectorOut(sizeOut + 1, '#');
            long longCount = Platform_GetPrivateProfileString(vectorArguments[1].c_str(), vectorArguments[2].c_str(),
                                                              vectorArguments[3].c_str(), vectorOut.data(), sizeOut,
                                                              structCase.stringPath.c_str());
            long longExpected = strtol(vectorArguments[6].c_str(), nullptr, 10);
            std::string stringOut(vectorOut.data(), strnlen(vectorOut.data(), sizeOut));
            if (longCount != longExpected) {
                ProfileTable_Fail(pstructResult, longLine, structCase,
                                  "count " + std::to_string(longCount) + ", expected " + std::to_string(longExpected) +
                                      " (value " + ProfileTable_Show(stringOut) + ")");
            } else if (vectorArguments.size() == 8 && stringOut != vectorArguments[7]) {
                ProfileTable_Fail(pstructResult, longLine, structCase,
                                  "value " + ProfileTable_Show(stringOut) + ", expected " +
                                      ProfileTable_Show(vectorArguments[7]));
            }
        } else if (stringCommand == "write") {
            if (!ArgumentCount(4, 4)) return -1;
            ++pstructResult->longChecks;
            if (Platform_WritePrivateProfileString(vectorArguments[1].c_str(), vectorArguments[2].c_str(),
                                                   vectorArguments[3].c_str(), structCase.stringPath.c_str()) != 0) {
                ProfileTable_Fail(pstructResult, longLine, structCase, "the write failed");
            }
        } else if (stringCommand == "expect") {
            if (!ArgumentCount(2, 2)) return -1;
            if (structCase.longExpectLine == 0) structCase.longExpectLine = longLine;
            structCase.stringExpected += vectorArguments[1];
        } else {
            pstructResult->stringReport += "line " + std::to_string(longLine) + ": unknown command " + stringCommand + "\n";
            return -1;
        }
    }
    ProfileTable_CheckFile(&structCase, boolLooseLayout, pstructResult);
    Platform_DeleteFile(structCase.stringPath.c_str());
    return 0;
}
