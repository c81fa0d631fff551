// POSIX implementation of the private-profile (ini) reader and writer and of the existence test, with
// the behaviour of Windows' GetPrivateProfileStringA and WritePrivateProfileStringA:
// - a line ends at CR LF, CR or LF; blank lines are ignored, and so are the blanks (0x09-0x0D, 0x1A,
//   0x20) around a line;
// - "[name]" opens a section (up to the last "]", name trimmed); a line that begins with "[" without a
//   closing bracket is an ordinary line; lines before the first section belong to a nameless section;
// - any other non-blank line is a key: the text before the first "=" (trimmed) is the name, the text
//   after it (trimmed) the value; a line without "=" is a key without a value, which reads as missing;
//   a comment line (";...") is read like any other line, so no real key name can match it;
// - names match without regard to ASCII case; only the first section of a name and the first key of a
//   name in it count;
// - a value in a pair of matching quotes (" or ') loses them.
// The writer edits the file's text in place: it replaces the key's line, or inserts a line after the
// last non-blank line of the section, or appends the section at the end; all other bytes stay as they
// were. The new text replaces the file as a whole (see Profile_WriteFile).
// Texts are CP932; every search steps over double-byte characters.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_posix.h"
#include "text/text.h"

namespace {

constexpr long D_LONG_PROFILE_LINE_BLANK = 0;
constexpr long D_LONG_PROFILE_LINE_SECTION = 1;
constexpr long D_LONG_PROFILE_LINE_KEY = 2;

// One line of the file, as byte positions into its text.
struct Profile_Line {
    size_t sizeStart;       // first byte of the line
    size_t sizeEnd;         // end of the line's text, before its line break
    size_t sizeNext;        // first byte of the next line, after the line break
    long longKind;          // D_LONG_PROFILE_LINE_*
    std::string stringName; // section or key name, trimmed
    bool boolHasValue;      // a key line with "="
    std::string stringValue;
};

bool Profile_IsBlank(unsigned char ucharByte) {
    return (ucharByte >= 0x09 && ucharByte <= 0x0D) || ucharByte == 0x1A || ucharByte == 0x20;
}

std::string Profile_Trim(const std::string &stringText) {
    size_t sizeFirst = 0;
    size_t sizeLast = stringText.size();
    while (sizeFirst < sizeLast && Profile_IsBlank(static_cast<unsigned char>(stringText[sizeFirst]))) ++sizeFirst;
    while (sizeLast > sizeFirst && Profile_IsBlank(static_cast<unsigned char>(stringText[sizeLast - 1]))) --sizeLast;
    return stringText.substr(sizeFirst, sizeLast - sizeFirst);
}

std::string Profile_TrimLeft(const char *pcharText) {
    while (*pcharText != '\0' && Profile_IsBlank(static_cast<unsigned char>(*pcharText))) ++pcharText;
    return pcharText;
}

// Equal without regard to the case of ASCII letters; the bytes of double-byte characters must be equal.
bool Profile_NamesEqual(const std::string &stringLeft, const std::string &stringRight) {
    if (stringLeft.size() != stringRight.size()) return false;
    for (size_t sizeIndex = 0; sizeIndex < stringLeft.size(); ++sizeIndex) {
        unsigned char ucharLeft = static_cast<unsigned char>(stringLeft[sizeIndex]);
        unsigned char ucharRight = static_cast<unsigned char>(stringRight[sizeIndex]);
        if (Text_IsLeadByte(ucharLeft) && sizeIndex + 1 < stringLeft.size()) {
            if (ucharLeft != ucharRight || stringLeft[sizeIndex + 1] != stringRight[sizeIndex + 1]) return false;
            ++sizeIndex;
            continue;
        }
        if (ucharLeft >= 'A' && ucharLeft <= 'Z') ucharLeft = static_cast<unsigned char>(ucharLeft - 'A' + 'a');
        if (ucharRight >= 'A' && ucharRight <= 'Z') ucharRight = static_cast<unsigned char>(ucharRight - 'A' + 'a');
        if (ucharLeft != ucharRight) return false;
    }
    return true;
}

// Reads the whole file. 0; -1 when it cannot be read, with *pboolMissing telling whether it does not exist.
int Profile_ReadFile(const char *pcharPath, std::string *pstringText, bool *pboolMissing) {
    *pboolMissing = false;
    pstringText->clear();
    std::string stringPath;
    if (!Platform_ToFileSystemPath(pcharPath, &stringPath)) return -1;
    FILE *pfileProfile = fopen(stringPath.c_str(), "rb");
    if (pfileProfile == nullptr) {
        *pboolMissing = errno == ENOENT;
        return -1;
    }
    char charBuffer[4096];
    size_t sizeRead;
    while ((sizeRead = fread(charBuffer, 1, sizeof(charBuffer), pfileProfile)) > 0) {
        pstringText->append(charBuffer, sizeRead);
    }
    bool boolFailed = ferror(pfileProfile) != 0;
    fclose(pfileProfile);
    return boolFailed ? -1 : 0;
}

// Splits the text into lines and classifies them.
std::vector<Profile_Line> Profile_Parse(const std::string &stringText) {
    std::vector<Profile_Line> vectorLines;
    size_t sizePosition = 0;
    while (sizePosition < stringText.size()) {
        Profile_Line structLine{};
        structLine.sizeStart = sizePosition;
        while (sizePosition < stringText.size() && stringText[sizePosition] != '\r' && stringText[sizePosition] != '\n') {
            ++sizePosition;
        }
        structLine.sizeEnd = sizePosition;
        // One line break (CR LF, CR or LF), so that blank lines stay lines of their own.
        if (sizePosition < stringText.size() && stringText[sizePosition] == '\r') ++sizePosition;
        if (sizePosition < stringText.size() && stringText[sizePosition] == '\n' &&
            (sizePosition == structLine.sizeEnd || stringText[sizePosition - 1] == '\r')) {
            ++sizePosition;
        }
        structLine.sizeNext = sizePosition;

        std::string stringLine =
            Profile_Trim(stringText.substr(structLine.sizeStart, structLine.sizeEnd - structLine.sizeStart));
        structLine.longKind = D_LONG_PROFILE_LINE_BLANK;
        if (!stringLine.empty() && stringLine[0] == '[') {
            const char *pcharClose = Text_FindLastCharacter(stringLine.c_str() + 1, ']');
            if (pcharClose != nullptr) {
                structLine.longKind = D_LONG_PROFILE_LINE_SECTION;
                structLine.stringName = Profile_Trim(stringLine.substr(1, static_cast<size_t>(pcharClose - stringLine.c_str()) - 1));
            }
        }
        if (!stringLine.empty() && structLine.longKind == D_LONG_PROFILE_LINE_BLANK) {
            structLine.longKind = D_LONG_PROFILE_LINE_KEY;
            const char *pcharEqual = Text_FindCharacter(stringLine.c_str(), '=');
            if (pcharEqual == nullptr) {
                structLine.stringName = stringLine;
            } else {
                size_t sizeEqual = static_cast<size_t>(pcharEqual - stringLine.c_str());
                structLine.stringName = Profile_Trim(stringLine.substr(0, sizeEqual));
                structLine.boolHasValue = true;
                structLine.stringValue = Profile_Trim(stringLine.substr(sizeEqual + 1));
            }
        }
        vectorLines.push_back(structLine);
    }
    return vectorLines;
}

// Where a section lies: the index of its header (-1 for the nameless section at the top) and the
// index one past its last line. false when there is no such section.
bool Profile_FindSection(const std::vector<Profile_Line> &vectorLines, const std::string &stringSection,
                         long *plongHeader, size_t *psizeEnd) {
    long longHeader = -1;
    bool boolFound = stringSection.empty();
    size_t sizeIndex = 0;
    for (; sizeIndex < vectorLines.size(); ++sizeIndex) {
        if (vectorLines[sizeIndex].longKind != D_LONG_PROFILE_LINE_SECTION) continue;
        if (boolFound) break;
        if (Profile_NamesEqual(vectorLines[sizeIndex].stringName, stringSection)) {
            boolFound = true;
            longHeader = static_cast<long>(sizeIndex);
        }
    }
    *plongHeader = longHeader;
    *psizeEnd = sizeIndex;
    return boolFound;
}

// The index of the first key of the name between the section's header and its end, or -1.
long Profile_FindKey(const std::vector<Profile_Line> &vectorLines, long longHeader, size_t sizeEnd,
                     const std::string &stringKey) {
    for (size_t sizeIndex = static_cast<size_t>(longHeader + 1); sizeIndex < sizeEnd; ++sizeIndex) {
        if (vectorLines[sizeIndex].longKind == D_LONG_PROFILE_LINE_KEY &&
            Profile_NamesEqual(vectorLines[sizeIndex].stringName, stringKey)) {
            return static_cast<long>(sizeIndex);
        }
    }
    return -1;
}

// Copies a value without its matching quotes, cut to whole characters. Returns what
// GetPrivateProfileStringA returns.
long Profile_CopyValue(const std::string &stringValue, char *pcharOut, size_t sizeOut) {
    const char *pcharValue = stringValue.c_str();
    size_t sizeValue = stringValue.size();
    if (sizeValue >= 2 && (pcharValue[0] == '"' || pcharValue[0] == '\'') && pcharValue[sizeValue - 1] == pcharValue[0]) {
        ++pcharValue;
        sizeValue -= 2;
    }
    if (sizeValue <= sizeOut - 1) {
        memcpy(pcharOut, pcharValue, sizeValue);
        pcharOut[sizeValue] = '\0';
        return static_cast<long>(sizeValue);
    }
    size_t sizeCopy = Text_WholeCharacters(pcharValue, sizeOut - 1);
    memcpy(pcharOut, pcharValue, sizeCopy);
    pcharOut[sizeCopy] = '\0';
    return static_cast<long>(sizeOut - 1);
}

// Writes the bytes into the file at the path, or removes it again when they cannot all be written. 0 or -1.
int Profile_WriteBytes(const std::string &stringPath, const std::string &stringText, bool boolRemoveOnFailure) {
    FILE *pfileProfile = fopen(stringPath.c_str(), "wb");
    if (pfileProfile == nullptr) return -1;
    bool boolFailed = fwrite(stringText.data(), 1, stringText.size(), pfileProfile) != stringText.size();
    if (fflush(pfileProfile) != 0) boolFailed = true;
    if (fsync(fileno(pfileProfile)) != 0) boolFailed = true;
    if (fclose(pfileProfile) != 0) boolFailed = true;
    if (boolFailed && boolRemoveOnFailure) unlink(stringPath.c_str());
    return boolFailed ? -1 : 0;
}

// Replaces the file's content. The new content goes into a file beside it that then takes its place, so
// that a write that fails half way (a full disk) leaves the old file whole. Where no file can be made
// beside it, or the file is a symbolic link, the file is rewritten where it is.
int Profile_WriteFile(const char *pcharPath, const std::string &stringText) {
    std::string stringPath;
    if (!Platform_ToFileSystemPath(pcharPath, &stringPath)) return -1;
    struct stat structStatus;
    bool boolExists = lstat(stringPath.c_str(), &structStatus) == 0;
    if (boolExists && S_ISLNK(structStatus.st_mode)) return Profile_WriteBytes(stringPath, stringText, false);
    std::string stringTemporary = stringPath + ".tmp";
    if (Profile_WriteBytes(stringTemporary, stringText, true) != 0) {
        if (errno == ENOSPC || errno == EFBIG || errno == EDQUOT || errno == EIO) return -1;
        return Profile_WriteBytes(stringPath, stringText, false);
    }
    if (boolExists) chmod(stringTemporary.c_str(), structStatus.st_mode & 07777);
    if (rename(stringTemporary.c_str(), stringPath.c_str()) != 0) {
        unlink(stringTemporary.c_str());
        return -1;
    }
    return 0;
}

}  // namespace

int Platform_FindFile(const char *pcharPath) {
    std::string stringPath;
    if (!Platform_ToFileSystemPath(pcharPath, &stringPath)) return -1;
    struct stat structStatus;
    return stat(stringPath.c_str(), &structStatus) == 0 ? 0 : -1;
}

long Platform_GetPrivateProfileString(const char *pcharSection, const char *pcharKey, const char *pcharDefault,
                                      char *pcharOut, size_t sizeOut, const char *pcharPath) {
    if (pcharOut == nullptr || sizeOut == 0) return 0;
    if (pcharSection == nullptr || pcharKey == nullptr) {
        pcharOut[0] = '\0';
        return 0;
    }
    std::string stringDefault = pcharDefault != nullptr ? pcharDefault : "";
    while (!stringDefault.empty() && stringDefault.back() == ' ') stringDefault.pop_back();

    std::string stringText;
    bool boolMissing = false;
    if (pcharPath == nullptr || Profile_ReadFile(pcharPath, &stringText, &boolMissing) != 0) {
        return Profile_CopyValue(stringDefault, pcharOut, sizeOut);
    }
    std::vector<Profile_Line> vectorLines = Profile_Parse(stringText);
    long longHeader = -1;
    size_t sizeEnd = 0;
    if (!Profile_FindSection(vectorLines, Profile_Trim(pcharSection), &longHeader, &sizeEnd)) {
        return Profile_CopyValue(stringDefault, pcharOut, sizeOut);
    }
    long longKey = Profile_FindKey(vectorLines, longHeader, sizeEnd, Profile_Trim(pcharKey));
    if (longKey < 0 || !vectorLines[static_cast<size_t>(longKey)].boolHasValue) {
        return Profile_CopyValue(stringDefault, pcharOut, sizeOut);
    }
    return Profile_CopyValue(vectorLines[static_cast<size_t>(longKey)].stringValue, pcharOut, sizeOut);
}

int Platform_WritePrivateProfileString(const char *pcharSection, const char *pcharKey, const char *pcharValue,
                                       const char *pcharPath) {
    if (pcharSection == nullptr || pcharKey == nullptr || pcharValue == nullptr || pcharPath == nullptr) return -1;
    std::string stringText;
    bool boolMissing = false;
    if (Profile_ReadFile(pcharPath, &stringText, &boolMissing) != 0 && !boolMissing) return -1;

    // As Windows does: new names and the value lose their leading blanks, not their trailing ones.
    std::string stringSection = Profile_TrimLeft(pcharSection);
    std::string stringKey = Profile_TrimLeft(pcharKey);
    std::string stringValue = Profile_TrimLeft(pcharValue);

    std::vector<Profile_Line> vectorLines = Profile_Parse(stringText);
    long longHeader = -1;
    size_t sizeEnd = 0;
    if (!Profile_FindSection(vectorLines, Profile_Trim(stringSection), &longHeader, &sizeEnd)) {
        if (!stringText.empty() && stringText.back() != '\r' && stringText.back() != '\n') stringText += "\r\n";
        stringText += "[" + stringSection + "]\r\n" + stringKey + "=" + stringValue + "\r\n";
        return Profile_WriteFile(pcharPath, stringText);
    }

    long longKey = Profile_FindKey(vectorLines, longHeader, sizeEnd, Profile_Trim(stringKey));
    if (longKey >= 0) {
        const Profile_Line &structLine = vectorLines[static_cast<size_t>(longKey)];
        if (structLine.boolHasValue && structLine.stringValue == stringValue) return 0;
        stringText.replace(structLine.sizeStart, structLine.sizeEnd - structLine.sizeStart,
                           structLine.stringName + "=" + stringValue);
        return Profile_WriteFile(pcharPath, stringText);
    }

    // A new key goes after the section's last non-blank line (its header when it has none).
    long longLast = longHeader;
    for (size_t sizeIndex = static_cast<size_t>(longHeader + 1); sizeIndex < sizeEnd; ++sizeIndex) {
        if (vectorLines[sizeIndex].longKind != D_LONG_PROFILE_LINE_BLANK) longLast = static_cast<long>(sizeIndex);
    }
    std::string stringInsert = stringKey + "=" + stringValue + "\r\n";
    size_t sizeInsert = 0;
    if (longLast >= 0) {
        const Profile_Line &structLast = vectorLines[static_cast<size_t>(longLast)];
        sizeInsert = structLast.sizeNext;
        if (structLast.sizeNext == structLast.sizeEnd) stringInsert = "\r\n" + stringInsert;
    }
    stringText.insert(sizeInsert, stringInsert);
    return Profile_WriteFile(pcharPath, stringText);
}
