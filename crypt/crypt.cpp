#include "crypt/crypt.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "log/log.h"

namespace {

// The generator: the linear congruential generator of the classic C runtime's rand() (multiplier
// 214013, increment 2531011, the 15 bits 16-30 of the state as the value). Its state lives only for
// one draw of a session key, so calls on different threads never share it.
constexpr uint32_t D_UINT32_CRYRPT_LCG_MULTIPLIER = 214013U;
constexpr uint32_t D_UINT32_CRYRPT_LCG_INCREMENT = 2531011U;
constexpr long D_LONG_CRYRPT_KEYBYTE_MODULUS = 255;

time_t Cryrpt_SystemClock(void) { return time(nullptr); }

std::atomic<Cryrpt_ClockFunction> atomicpfnClock{Cryrpt_SystemClock};

long Cryrpt_NextValue(uint32_t *puint32State) {
    *puint32State = *puint32State * D_UINT32_CRYRPT_LCG_MULTIPLIER + D_UINT32_CRYRPT_LCG_INCREMENT;
    return static_cast<long>((*puint32State >> 16) & 0x7FFFU);
}

// The session-key byte that keys a password of sizePasswordLength bytes (1 or more). A password longer
// than the session key would point one place past it; "mod 16" brings it back to byte 0.
long Cryrpt_KeyIndex(size_t sizePasswordLength) {
    return static_cast<long>((D_LONG_CRYRPT_SESSIONKEY_LENGTH % sizePasswordLength) %
                             D_LONG_CRYRPT_SESSIONKEY_LENGTH);
}

unsigned char Cryrpt_KeyNumber(const unsigned char *pucharSessionKey, const char *pcharPassword,
                               size_t sizePasswordLength) {
    long longIndex = Cryrpt_KeyIndex(sizePasswordLength);
    return static_cast<unsigned char>(pucharSessionKey[longIndex] + static_cast<unsigned char>(pcharPassword[0]));
}

// Writes the session key as signed decimal bytes.
void Cryrpt_TraceSessionKey(const char *pcharFunctionName, long longLine, const unsigned char *pucharSessionKey) {
    const signed char *pscharKey = reinterpret_cast<const signed char *>(pucharSessionKey);
    Log_OutputTraceLogFormat(pcharFunctionName, longLine,
                             "セッションキー=%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d", pscharKey[0],
                             pscharKey[1], pscharKey[2], pscharKey[3], pscharKey[4], pscharKey[5], pscharKey[6],
                             pscharKey[7], pscharKey[8], pscharKey[9], pscharKey[10], pscharKey[11], pscharKey[12],
                             pscharKey[13], pscharKey[14], pscharKey[15]);
}

// A deciphered check byte as a character for the trace: printable ASCII as it is, anything else as '.',
// so that a NUL or a lead byte cannot cut or swallow the rest of the line.
char Cryrpt_PrintableByte(unsigned char ucharByte) {
    return (ucharByte >= 0x20 && ucharByte <= 0x7E) ? static_cast<char>(ucharByte) : '.';
}

}  // namespace

void Cryrpt_SetClock(Cryrpt_ClockFunction pfnClock) {
    atomicpfnClock.store(pfnClock != nullptr ? pfnClock : Cryrpt_SystemClock);
}

void Cryrpt_DrawSessionKey(time_t timeSeconds, unsigned char *pucharSessionKey) {
    LOG_ENTER();
    uint32_t uint32State = static_cast<uint32_t>(timeSeconds);
    // A first byte of 0 would make the envelope look absent to the deciphering side; such draws are
    // skipped. The draw stays a function of the second alone.
    long longValue = 0;
    do {
        longValue = Cryrpt_NextValue(&uint32State) % D_LONG_CRYRPT_KEYBYTE_MODULUS;
    } while (longValue == 0);
    pucharSessionKey[0] = static_cast<unsigned char>(longValue);
    for (long longIndex = 1; longIndex < D_LONG_CRYRPT_SESSIONKEY_LENGTH; ++longIndex) {
        pucharSessionKey[longIndex] =
            static_cast<unsigned char>(Cryrpt_NextValue(&uint32State) % D_LONG_CRYRPT_KEYBYTE_MODULUS);
    }
    LOG_LEAVE_OK();
}

int Cryrpt_EncryptWithSessionKey(const unsigned char *pucharPayload, long longPayloadLength,
                                 const char *pcharPassword, const unsigned char *pucharSessionKey,
                                 unsigned char **ppucharEnvelope, long *plongEnvelopeLength) {
    LOG_ENTER();
    if ((pucharPayload == nullptr && longPayloadLength != 0) || longPayloadLength < 0 ||
        longPayloadLength > D_LONG_CRYRPT_MAX_PAYLOAD_LENGTH || pucharSessionKey == nullptr ||
        ppucharEnvelope == nullptr || plongEnvelopeLength == nullptr || pcharPassword == nullptr ||
        pcharPassword[0] == '\0') {
        LOG_TRACE("パラメータエラー");
        LOG_LEAVE_NG();
        return -1;
    }
    if (longPayloadLength > 0) {
        LOG_TRACEF("入力データ 先頭=%d, 長さ=%ld", static_cast<int>(pucharPayload[0]), longPayloadLength);
    } else {
        LOG_TRACEF("入力データ 長さ=%ld", longPayloadLength);
    }

    size_t sizePasswordLength = strlen(pcharPassword);
    Cryrpt_TraceSessionKey(__func__, __LINE__, pucharSessionKey);
    unsigned char ucharKeyNumber = Cryrpt_KeyNumber(pucharSessionKey, pcharPassword, sizePasswordLength);
    unsigned char ucharCheck1 = static_cast<unsigned char>(D_UCHAR_CRYRPT_CHECK_1 + ucharKeyNumber);
    unsigned char ucharCheck2 = static_cast<unsigned char>(D_UCHAR_CRYRPT_CHECK_2 + ucharKeyNumber);
    LOG_TRACEF("パスワード長=%ld, キー番号=%d, チェックデータ 1=%d, 2=%d", static_cast<long>(sizePasswordLength),
               static_cast<int>(ucharKeyNumber), static_cast<int>(ucharCheck1), static_cast<int>(ucharCheck2));

    long longEnvelopeLength = longPayloadLength + D_LONG_CRYRPT_HEADER_LENGTH;
    unsigned char *pucharEnvelope =
        static_cast<unsigned char *>(calloc(static_cast<size_t>(longEnvelopeLength), sizeof(unsigned char)));
    if (pucharEnvelope == nullptr) {
        LOG_TRACE("calloc 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    memcpy(pucharEnvelope, pucharSessionKey, D_LONG_CRYRPT_SESSIONKEY_LENGTH);
    pucharEnvelope[D_LONG_CRYRPT_SESSIONKEY_LENGTH] = ucharCheck1;
    pucharEnvelope[D_LONG_CRYRPT_SESSIONKEY_LENGTH + 1] = ucharCheck2;
    unsigned char *pucharBody = pucharEnvelope + D_LONG_CRYRPT_HEADER_LENGTH;
    for (long longIndex = 0; longIndex < longPayloadLength; ++longIndex) {
        pucharBody[longIndex] = static_cast<unsigned char>(pucharPayload[longIndex] + ucharKeyNumber);
    }

    *ppucharEnvelope = pucharEnvelope;
    *plongEnvelopeLength = longEnvelopeLength;
    LOG_LEAVE_OK();
    return 0;
}

int Cryrpt_Encrypt(const unsigned char *pucharPayload, long longPayloadLength, const char *pcharPassword,
                   unsigned char **ppucharEnvelope, long *plongEnvelopeLength) {
    LOG_ENTER();
    unsigned char ucharSessionKey[D_LONG_CRYRPT_SESSIONKEY_LENGTH];
    LOG_TRACE("Cryrpt_DrawSessionKey 呼び出し");
    Cryrpt_DrawSessionKey(atomicpfnClock.load()(), ucharSessionKey);
    LOG_TRACE("Cryrpt_EncryptWithSessionKey 呼び出し");
    if (Cryrpt_EncryptWithSessionKey(pucharPayload, longPayloadLength, pcharPassword, ucharSessionKey,
                                     ppucharEnvelope, plongEnvelopeLength) != 0) {
        LOG_TRACE("Cryrpt_EncryptWithSessionKey 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

int Cryrpt_Decrypt(const unsigned char *pucharEnvelope, long longEnvelopeLength, const char *pcharPassword,
                   unsigned char **ppucharPayload, long *plongPayloadLength) {
    LOG_ENTER();
    // The length is tested before the first byte is read.
    if (pucharEnvelope == nullptr || longEnvelopeLength < D_LONG_CRYRPT_HEADER_LENGTH ||
        pucharEnvelope[0] == 0 || ppucharPayload == nullptr || plongPayloadLength == nullptr ||
        pcharPassword == nullptr || pcharPassword[0] == '\0') {
        LOG_TRACE("パラメータエラー");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_TRACEF("入力データ 先頭=%d, 長さ=%ld", static_cast<int>(pucharEnvelope[0]), longEnvelopeLength);

    size_t sizePasswordLength = strlen(pcharPassword);
    Cryrpt_TraceSessionKey(__func__, __LINE__, pucharEnvelope);
    unsigned char ucharKeyNumber = Cryrpt_KeyNumber(pucharEnvelope, pcharPassword, sizePasswordLength);
    unsigned char ucharCheck1 = static_cast<unsigned char>(pucharEnvelope[D_LONG_CRYRPT_SESSIONKEY_LENGTH] -
                                                           ucharKeyNumber);
    unsigned char ucharCheck2 = static_cast<unsigned char>(pucharEnvelope[D_LONG_CRYRPT_SESSIONKEY_LENGTH + 1] -
                                                           ucharKeyNumber);
    LOG_TRACEF("パスワード長=%ld, キー番号=%d, チェックデータ 1=%d, 2=%d", static_cast<long>(sizePasswordLength),
               static_cast<int>(ucharKeyNumber), static_cast<int>(ucharCheck1), static_cast<int>(ucharCheck2));
    // The check comes before the allocation: a wrong password costs no buffer.
    if (ucharCheck1 != D_UCHAR_CRYRPT_CHECK_1 || ucharCheck2 != D_UCHAR_CRYRPT_CHECK_2) {
        LOG_TRACEF("チェックデータ異常 1=%c(%d, %x), 2=%c(%d, %x)", Cryrpt_PrintableByte(ucharCheck1),
                   static_cast<int>(ucharCheck1), static_cast<unsigned int>(ucharCheck1),
                   Cryrpt_PrintableByte(ucharCheck2), static_cast<int>(ucharCheck2),
                   static_cast<unsigned int>(ucharCheck2));
        LOG_LEAVE_NG();
        return -1;
    }

    long longPayloadLength = longEnvelopeLength - D_LONG_CRYRPT_HEADER_LENGTH;
    unsigned char *pucharPayload = nullptr;
    if (longPayloadLength > 0) {
        pucharPayload =
            static_cast<unsigned char *>(calloc(static_cast<size_t>(longPayloadLength), sizeof(unsigned char)));
        if (pucharPayload == nullptr) {
            LOG_TRACE("calloc 異常終了");
            LOG_LEAVE_NG();
            return -1;
        }
        const unsigned char *pucharBody = pucharEnvelope + D_LONG_CRYRPT_HEADER_LENGTH;
        for (long longIndex = 0; longIndex < longPayloadLength; ++longIndex) {
            pucharPayload[longIndex] = static_cast<unsigned char>(pucharBody[longIndex] - ucharKeyNumber);
        }
    }

    *ppucharPayload = pucharPayload;
    *plongPayloadLength = longPayloadLength;
    LOG_LEAVE_OK();
    return 0;
}
