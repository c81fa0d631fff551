// CP932 text helpers. CP932 is a double-byte code page whose trail bytes include 0x5C ('\'), so any
// search for a separator must step over double-byte characters; these helpers do that for the whole
// program.
#pragma once

#include <cstddef>

// True for a byte that opens a double-byte character (0x81-0x9F, 0xE0-0xFC).
bool Text_IsLeadByte(unsigned char ucharByte);

// The length of the longest prefix of the first sizeLength bytes that ends on a character boundary.
size_t Text_WholeCharacters(const char *pcharText, size_t sizeLength);

// The first / last occurrence of the single-byte character charTarget in the NUL-terminated text,
// outside double-byte characters; nullptr when there is none.
const char *Text_FindCharacter(const char *pcharText, char charTarget);
const char *Text_FindLastCharacter(const char *pcharText, char charTarget);
// The same among the first sizeLength bytes of the text.
const char *Text_FindLastCharacterIn(const char *pcharText, size_t sizeLength, char charTarget);

// Replaces every single-byte character charFrom of the NUL-terminated text by charTo, in place, leaving
// double-byte characters whole.
void Text_ReplaceCharacter(char *pcharText, char charFrom, char charTo);
