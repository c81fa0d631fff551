// Payload cipher: the password-keyed envelope of the command endpoint, shared with the phone-side client.
//
// Envelope (its length comes from the carrier; no length field, no terminator):
//   bytes 0-15   session key, in clear
//   byte 16      0x4F ('O') + K
//   byte 17      0x4B ('K') + K
//   bytes 18-    payload, each byte + K
// All arithmetic wraps modulo 256. The key number K is (session key[(16 mod L) mod 16] + password[0])
// modulo 256, with L the password's length in bytes; for L from 1 to 16 the outer "mod 16" changes
// nothing, and a longer password uses session key byte 0.
#pragma once

#include <ctime>

constexpr long D_LONG_CRYRPT_SESSIONKEY_LENGTH = 16;
constexpr long D_LONG_CRYRPT_HEADER_LENGTH = 18;
constexpr unsigned char D_UCHAR_CRYRPT_CHECK_1 = 0x4F;
constexpr unsigned char D_UCHAR_CRYRPT_CHECK_2 = 0x4B;
// Longest payload whose envelope length still fits the wire's signed 32-bit lengths.
constexpr long D_LONG_CRYRPT_MAX_PAYLOAD_LENGTH = 0x7FFFFFFFL - D_LONG_CRYRPT_HEADER_LENGTH;

// Puts longPayloadLength bytes (pucharPayload may be nullptr when the length is 0) into a new envelope
// keyed by the NUL-terminated password and a session key drawn from the clock's current second.
// On success *ppucharEnvelope owns a calloc'ed buffer of longPayloadLength + 18 bytes (the caller
// frees it) and *plongEnvelopeLength holds that length. 0, or -1 with the output places untouched.
int Cryrpt_Encrypt(const unsigned char *pucharPayload, long longPayloadLength, const char *pcharPassword,
                   unsigned char **ppucharEnvelope, long *plongEnvelopeLength);

// Takes the payload out of an envelope of longEnvelopeLength bytes. On success *ppucharPayload owns a
// calloc'ed buffer of exactly longEnvelopeLength - 18 bytes without a terminating NUL (nullptr for an
// empty payload) and *plongPayloadLength holds that length. An envelope whose first byte is 0 is refused.
// 0, or -1 with the output places untouched.
int Cryrpt_Decrypt(const unsigned char *pucharEnvelope, long longEnvelopeLength, const char *pcharPassword,
                   unsigned char **ppucharPayload, long *plongPayloadLength);

// The parts below are what Cryrpt_Encrypt is made of; they are open for tests.

// Cryrpt_Encrypt with the session key given instead of drawn.
int Cryrpt_EncryptWithSessionKey(const unsigned char *pucharPayload, long longPayloadLength,
                                 const char *pcharPassword, const unsigned char *pucharSessionKey,
                                 unsigned char **ppucharEnvelope, long *plongEnvelopeLength);

// Draws the 16 session-key bytes for the second timeSeconds: the generator is seeded with the second,
// every byte is a draw modulo 255 (never 255), and the first byte is drawn again while it would be 0,
// since an envelope starting with 0 is refused by the deciphering side.
void Cryrpt_DrawSessionKey(time_t timeSeconds, unsigned char *pucharSessionKey);

// The clock that gives Cryrpt_Encrypt its second; nullptr puts time() back.
typedef time_t (*Cryrpt_ClockFunction)(void);
void Cryrpt_SetClock(Cryrpt_ClockFunction pfnClock);
