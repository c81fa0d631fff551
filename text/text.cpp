#include "text/text.h"

#include <cstring>

bool Text_IsLeadByte(unsigned char ucharByte) {
    return (ucharByte >= 0x81 && ucharByte <= 0x9F) || (ucharByte >= 0xE0 && ucharByte <= 0xFC);
}

size_t Text_WholeCharacters(const char *pcharText, size_t sizeLength) {
    size_t sizePosition = 0;
    while (sizePosition < sizeLength) {
        size_t sizeStep = Text_IsLeadByte(static_cast<unsigned char>(pcharText[sizePosition])) ? 2 : 1;
        if (sizePosition + sizeStep > sizeLength) break;
        sizePosition += sizeStep;
    }
    return sizePosition;
}

const char *Text_FindCharacter(const char *pcharText, char charTarget) {
    for (const char *pcharAt = pcharText; *pcharAt != '\0'; ++pcharAt) {
        if (*pcharAt == charTarget) return pcharAt;
        if (Text_IsLeadByte(static_cast<unsigned char>(*pcharAt)) && pcharAt[1] != '\0') ++pcharAt;
    }
    return nullptr;
}

const char *Text_FindLastCharacter(const char *pcharText, char charTarget) {
    return Text_FindLastCharacterIn(pcharText, strlen(pcharText), charTarget);
}

const char *Text_FindLastCharacterIn(const char *pcharText, size_t sizeLength, char charTarget) {
    const char *pcharFound = nullptr;
    const char *pcharEnd = pcharText + sizeLength;
    for (const char *pcharAt = pcharText; pcharAt < pcharEnd; ++pcharAt) {
        if (*pcharAt == charTarget) pcharFound = pcharAt;
        if (Text_IsLeadByte(static_cast<unsigned char>(*pcharAt)) && pcharAt + 1 < pcharEnd) ++pcharAt;
    }
    return pcharFound;
}

void Text_ReplaceCharacter(char *pcharText, char charFrom, char charTo) {
    for (char *pcharAt = pcharText; *pcharAt != '\0'; ++pcharAt) {
        if (*pcharAt == charFrom) {
            *pcharAt = charTo;
        } else if (Text_IsLeadByte(static_cast<unsigned char>(*pcharAt)) && pcharAt[1] != '\0') {
            ++pcharAt;
        }
    }
}
