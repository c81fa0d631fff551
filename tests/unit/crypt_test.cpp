// The payload cipher: known envelopes worked out by hand from the envelope rules, round trips, the
// refusals, and the session-key draw.
#include "crypt/crypt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log/log.h"
#include "platform/platform.h"

namespace {

typedef std::vector<unsigned char> Bytes;

// A fixed session key whose bytes all differ, so that the key number shows which byte was used.
const unsigned char D_UCHAR_TEST_SESSIONKEY[16] = {0xC8, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                                   0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFE};

time_t timeTestNow = 0;
time_t Test_Clock(void) { return timeTestNow; }

class CryptTest : public ::testing::Test {
protected:
    void TearDown() override { Cryrpt_SetClock(nullptr); }
};

Bytes Test_Bytes(const char *pcharText) {
    return Bytes(reinterpret_cast<const unsigned char *>(pcharText),
                 reinterpret_cast<const unsigned char *>(pcharText) + strlen(pcharText));
}

// Envelope of the given bytes through Cryrpt_EncryptWithSessionKey; fails the test when it fails.
Bytes Test_Encipher(const Bytes &bytesPayload, const char *pcharPassword, const unsigned char *pucharKey) {
    unsigned char *pucharEnvelope = nullptr;
    long longLength = 0;
    EXPECT_EQ(0, Cryrpt_EncryptWithSessionKey(bytesPayload.data(), static_cast<long>(bytesPayload.size()),
                                              pcharPassword, pucharKey, &pucharEnvelope, &longLength));
    Bytes bytesEnvelope;
    if (pucharEnvelope != nullptr) bytesEnvelope.assign(pucharEnvelope, pucharEnvelope + longLength);
    free(pucharEnvelope);
    return bytesEnvelope;
}

// Envelope through Cryrpt_Encrypt with the clock standing at timeSeconds.
Bytes Test_EncryptAt(time_t timeSeconds, const Bytes &bytesPayload, const char *pcharPassword) {
    timeTestNow = timeSeconds;
    Cryrpt_SetClock(Test_Clock);
    unsigned char *pucharEnvelope = nullptr;
    long longLength = 0;
    EXPECT_EQ(0, Cryrpt_Encrypt(bytesPayload.empty() ? nullptr : bytesPayload.data(),
                                static_cast<long>(bytesPayload.size()), pcharPassword, &pucharEnvelope, &longLength));
    Bytes bytesEnvelope;
    if (pucharEnvelope != nullptr) bytesEnvelope.assign(pucharEnvelope, pucharEnvelope + longLength);
    free(pucharEnvelope);
    return bytesEnvelope;
}

// Deciphers from an exactly sized heap copy (so that a read past the end is caught); gives the result
// and the payload.
int Test_Decrypt(const Bytes &bytesEnvelope, const char *pcharPassword, Bytes *pbytesPayload) {
    unsigned char *pucharCopy = static_cast<unsigned char *>(malloc(bytesEnvelope.size() + 1));
    if (!bytesEnvelope.empty()) memcpy(pucharCopy, bytesEnvelope.data(), bytesEnvelope.size());
    unsigned char *pucharPayload = nullptr;
    long longLength = -7;
    int intResult = Cryrpt_Decrypt(pucharCopy, static_cast<long>(bytesEnvelope.size()), pcharPassword,
                                   &pucharPayload, &longLength);
    free(pucharCopy);
    if (intResult == 0) {
        EXPECT_EQ(static_cast<long>(bytesEnvelope.size()) - 18, longLength);
        if (longLength == 0) {
            EXPECT_EQ(nullptr, pucharPayload);
        }
        pbytesPayload->assign(pucharPayload, pucharPayload + longLength);
    } else {
        EXPECT_EQ(nullptr, pucharPayload);
        EXPECT_EQ(-7, longLength);
    }
    free(pucharPayload);
    return intResult;
}

Bytes Test_Concat(const unsigned char *pucharKey, const Bytes &bytesRest) {
    Bytes bytesAll(pucharKey, pucharKey + 16);
    bytesAll.insert(bytesAll.end(), bytesRest.begin(), bytesRest.end());
    return bytesAll;
}

// Known envelopes for the fixed session key. K = (key[(16 mod L) mod 16] + first password byte) mod 256;
// every byte from offset 16 is plain + K.
TEST_F(CryptTest, KnownEnvelopesForFixedSessionKey) {
    const char charLongPassword[] = "K0123456789abcdefghi";         // 20 bytes
    const char charLongestPassword[] = "xABCDEFGHIJKLMNOPQRSTUVWXYZ01234";  // 32 bytes
    ASSERT_EQ(20u, strlen(charLongPassword));
    ASSERT_EQ(32u, strlen(charLongestPassword));
    struct Case {
        const char *pcharPassword;
        Bytes bytesPayload;
        Bytes bytesAfterKey;  // check bytes and shifted payload
    } structCases[] = {
        // L=1, index 0: K = C8 + 61 ('a') = 0x129 -> 29; "ls\t/\r\n" shifted by 29.
        {"a", Test_Bytes("ls\t/\r\n"), {0x78, 0x74, 0x95, 0x9C, 0x32, 0x58, 0x36, 0x33}},
        // L=5, index 1: K = 11 + 50 ('P') = 61.
        {"Pass5", Test_Bytes("ls\t/\r\n"), {0xB0, 0xAC, 0xCD, 0xD4, 0x6A, 0x90, 0x6E, 0x6B}},
        // L=7, index 2: K = 22 + 7A ('z') = 9C; payload bytes wrap: FF+9C=9B, 00+9C=9C, 64+9C=00.
        {"zipzap7", {0xFF, 0x00, 0x64}, {0xEB, 0xE7, 0x9B, 0x9C, 0x00}},
        // L=9, index 7: K = 77 + 39 ('9') = B0.
        {"9ninechar", {0x01}, {0xFF, 0xFB, 0xB1}},
        // L=15, index 1: K = 11 + 41 ('A') = 52.
        {"ABCDEFGHIJKLMNO", {0x10}, {0xA1, 0x9D, 0x62}},
        // L=16, index 0: K = C8 + 30 ('0') = 0xF8; check bytes wrap: 4F+F8=47, 4B+F8=43.
        {"0123456789ABCDEF", {0x08, 0x07}, {0x47, 0x43, 0x00, 0xFF}},
        // L=20: (16 mod 20) mod 16 = 0; K = C8 + 4B ('K') = 0x113 -> 13.
        {charLongPassword, Test_Bytes("get"), {0x62, 0x5E, 0x7A, 0x78, 0x87}},
        // L=32: index 0; K = C8 + 78 ('x') = 0x140 -> 40.
        {charLongestPassword, {0x00}, {0x8F, 0x8B, 0x40}},
        // Empty payload: the key and the two check bytes only (L=1, K = 29).
        {"a", {}, {0x78, 0x74}},
        // A CP932 first byte (0x83) counts as the byte it is: L=2, index 0, K = C8 + 83 = 0x14B -> 4B.
        {"\x83\x5C", {0x4B}, {0x9A, 0x96, 0x96}},
    };
    for (const Case &structCase : structCases) {
        SCOPED_TRACE(std::string("password length ") + std::to_string(strlen(structCase.pcharPassword)));
        Bytes bytesExpected = Test_Concat(D_UCHAR_TEST_SESSIONKEY, structCase.bytesAfterKey);
        Bytes bytesEnvelope = Test_Encipher(structCase.bytesPayload, structCase.pcharPassword, D_UCHAR_TEST_SESSIONKEY);
        EXPECT_EQ(bytesExpected, bytesEnvelope);
        Bytes bytesPayload;
        EXPECT_EQ(0, Test_Decrypt(bytesExpected, structCase.pcharPassword, &bytesPayload));
        EXPECT_EQ(structCase.bytesPayload, bytesPayload);
    }
}

// The generator is the C runtime's LCG seeded with the second; the first value of second 1 is 41, and
// the session key is the 16 draws modulo 255. Payload "OK" with "a": K = 41 + 0x61 = 0x8A.
TEST_F(CryptTest, EncryptDrawsTheSessionKeyFromTheClocksSecond) {
    Bytes bytesEnvelope = Test_EncryptAt(1, Test_Bytes("OK"), "a");
    Bytes bytesExpected = {41, 107, 214, 235, 44, 169, 3, 33, 187, 239, 95, 95, 76, 252, 16, 236,
                           0xD9, 0xD5, 0xD9, 0xD5};
    EXPECT_EQ(bytesExpected, bytesEnvelope);
}

// A first draw that is 0 modulo 255 would give an envelope that the other side refuses; it is drawn
// again. Second 457 draws 1530 (= 6 * 255) first; second 127897 draws two such values.
TEST_F(CryptTest, FirstSessionKeyByteIsNeverZero) {
    struct Case {
        time_t timeSeconds;
        Bytes bytesKey;
    } structCases[] = {
        {457, {206, 177, 161, 198, 247, 56, 141, 227, 105, 226, 162, 55, 67, 195, 137, 100}},
        {127897, {92, 11, 222, 134, 37, 179, 10, 136, 186, 193, 21, 220, 143, 48, 211, 126}},
    };
    for (const Case &structCase : structCases) {
        SCOPED_TRACE(static_cast<long long>(structCase.timeSeconds));
        unsigned char ucharKey[16];
        Cryrpt_DrawSessionKey(structCase.timeSeconds, ucharKey);
        EXPECT_EQ(structCase.bytesKey, Bytes(ucharKey, ucharKey + 16));
        Bytes bytesEnvelope = Test_EncryptAt(structCase.timeSeconds, Test_Bytes("ls\t/\r\n"), "pw");
        Bytes bytesPayload;
        EXPECT_EQ(0, Test_Decrypt(bytesEnvelope, "pw", &bytesPayload));
        EXPECT_EQ(Test_Bytes("ls\t/\r\n"), bytesPayload);
    }
}

// Over many seconds no session-key byte is 255, the first is never 0, and every envelope made here
// deciphers again.
TEST_F(CryptTest, EveryDrawnEnvelopeIsAcceptedAndNoKeyByteIs255) {
    const time_t timeStarts[] = {0, 1700000000};
    for (time_t timeStart : timeStarts) {
        for (time_t timeSeconds = timeStart; timeSeconds < timeStart + 20000; ++timeSeconds) {
            Bytes bytesEnvelope = Test_EncryptAt(timeSeconds, {}, "k");
            ASSERT_EQ(18u, bytesEnvelope.size());
            ASSERT_NE(0, bytesEnvelope[0]) << "second " << static_cast<long long>(timeSeconds);
            for (int intIndex = 0; intIndex < 16; ++intIndex) {
                ASSERT_NE(255, bytesEnvelope[intIndex]) << "second " << static_cast<long long>(timeSeconds);
            }
            Bytes bytesPayload;
            ASSERT_EQ(0, Test_Decrypt(bytesEnvelope, "k", &bytesPayload)) << "second "
                                                                          << static_cast<long long>(timeSeconds);
        }
    }
}

TEST_F(CryptTest, SameSecondGivesSameSessionKeyAndNextSecondAnother) {
    Bytes bytesFirst = Test_EncryptAt(1700000000, Test_Bytes("ls\t/\r\n"), "alpha");
    Bytes bytesSecond = Test_EncryptAt(1700000000, Test_Bytes("get\t/x\t0\r\n"), "beta");
    Bytes bytesLater = Test_EncryptAt(1700000001, Test_Bytes("ls\t/\r\n"), "alpha");
    ASSERT_GE(bytesFirst.size(), 16u);
    ASSERT_GE(bytesSecond.size(), 16u);
    ASSERT_GE(bytesLater.size(), 16u);
    EXPECT_EQ(Bytes(bytesFirst.begin(), bytesFirst.begin() + 16), Bytes(bytesSecond.begin(), bytesSecond.begin() + 16));
    EXPECT_NE(Bytes(bytesFirst.begin(), bytesFirst.begin() + 16), Bytes(bytesLater.begin(), bytesLater.begin() + 16));
}

// Round trips with the real clock: empty, one byte, and 1 MiB of every byte value, for short, 16-byte
// and long passwords. Each body byte is the plain byte plus the key number that the check bytes show.
TEST_F(CryptTest, RoundTripsOverPayloadLengths) {
    Bytes bytesLarge(1024 * 1024);
    for (size_t sizeIndex = 0; sizeIndex < bytesLarge.size(); ++sizeIndex) {
        bytesLarge[sizeIndex] = static_cast<unsigned char>((sizeIndex * 7 + sizeIndex / 256) & 0xFF);
    }
    const Bytes bytesPayloads[] = {{}, {0x00}, {0xFF}, bytesLarge};
    const char *pcharPasswords[] = {"p", "0123456789ABCDEF", "abcdefghijklmnopqrstuvwxyz012345"};
    for (const char *pcharPassword : pcharPasswords) {
        for (const Bytes &bytesPlain : bytesPayloads) {
            SCOPED_TRACE(std::string(pcharPassword) + " / " + std::to_string(bytesPlain.size()));
            unsigned char *pucharEnvelope = nullptr;
            long longEnvelopeLength = 0;
            ASSERT_EQ(0, Cryrpt_Encrypt(bytesPlain.empty() ? nullptr : bytesPlain.data(),
                                        static_cast<long>(bytesPlain.size()), pcharPassword, &pucharEnvelope,
                                        &longEnvelopeLength));
            ASSERT_EQ(static_cast<long>(bytesPlain.size()) + 18, longEnvelopeLength);
            unsigned char ucharKey = static_cast<unsigned char>(pucharEnvelope[16] - 0x4F);
            EXPECT_EQ(static_cast<unsigned char>(0x4B + ucharKey), pucharEnvelope[17]);
            size_t sizeShifted = 0;
            for (size_t sizeIndex = 0; sizeIndex < bytesPlain.size(); ++sizeIndex) {
                if (pucharEnvelope[18 + sizeIndex] == static_cast<unsigned char>(bytesPlain[sizeIndex] + ucharKey)) {
                    ++sizeShifted;
                }
            }
            EXPECT_EQ(bytesPlain.size(), sizeShifted);
            Bytes bytesEnvelope(pucharEnvelope, pucharEnvelope + longEnvelopeLength);
            free(pucharEnvelope);
            Bytes bytesBack;
            EXPECT_EQ(0, Test_Decrypt(bytesEnvelope, pcharPassword, &bytesBack));
            EXPECT_TRUE(bytesPlain == bytesBack);
        }
    }
}

// Only the password's length (through the key index) and its first byte enter the key number.
TEST_F(CryptTest, OtherPasswordsAcceptedOnlyWhenTheKeyNumberIsTheSame) {
    Bytes bytesPlain = Test_Bytes("ls\t/\r\n");
    Bytes bytesEnvelope = Test_Encipher(bytesPlain, "secret12", D_UCHAR_TEST_SESSIONKEY);  // L=8, index 0
    struct Case {
        const char *pcharPassword;
        int intResult;
    } structCases[] = {
        {"secret12", 0},
        {"sXXXXXXX", 0},                          // same length, same first byte
        {"s123", 0},                              // L=4: index 0 as well
        {"s123456789012345678", 0},               // L=19: index 0 as well
        {"secret1", -1},                          // L=7: index 2
        {"Secret12", -1},                         // other first byte
        {"secret123", -1},                        // L=9: index 7
    };
    for (const Case &structCase : structCases) {
        SCOPED_TRACE(structCase.pcharPassword);
        Bytes bytesBack;
        EXPECT_EQ(structCase.intResult, Test_Decrypt(bytesEnvelope, structCase.pcharPassword, &bytesBack));
        if (structCase.intResult == 0) {
            EXPECT_EQ(bytesPlain, bytesBack);
        }
    }
}

// A damaged check byte is refused like a wrong password.
TEST_F(CryptTest, DamagedCheckBytesAreRefused) {
    Bytes bytesEnvelope = Test_Encipher(Test_Bytes("ls\t/\r\n"), "a", D_UCHAR_TEST_SESSIONKEY);
    for (int intOffset : {16, 17}) {
        Bytes bytesDamaged = bytesEnvelope;
        bytesDamaged[intOffset] ^= 0x01;
        Bytes bytesBack;
        EXPECT_EQ(-1, Test_Decrypt(bytesDamaged, "a", &bytesBack)) << intOffset;
    }
}

TEST_F(CryptTest, EncryptParameterErrorsLeaveOutputsUntouched) {
    const unsigned char ucharPayload[4] = {1, 2, 3, 4};
    unsigned char ucharSentinel = 0;
    struct Case {
        const char *pcharName;
        const unsigned char *pucharPayload;
        long longLength;
        const char *pcharPassword;
        bool boolEnvelopeOut;
        bool boolLengthOut;
    } structCases[] = {
        {"payload absent, length 1", nullptr, 1, "pw", true, true},
        {"negative length", ucharPayload, -1, "pw", true, true},
        {"negative length, payload absent", nullptr, -1, "pw", true, true},
        {"envelope would not fit 32 bits", ucharPayload, D_LONG_CRYRPT_MAX_PAYLOAD_LENGTH + 1, "pw", true, true},
        {"empty password", ucharPayload, 4, "", true, true},
        {"password absent", ucharPayload, 4, nullptr, true, true},
        {"envelope place absent", ucharPayload, 4, "pw", false, true},
        {"length place absent", ucharPayload, 4, "pw", true, false},
    };
    for (const Case &structCase : structCases) {
        SCOPED_TRACE(structCase.pcharName);
        for (int intWithKey = 0; intWithKey < 2; ++intWithKey) {
            unsigned char *pucharEnvelope = &ucharSentinel;
            long longLength = 12345;
            int intResult =
                intWithKey != 0
                    ? Cryrpt_EncryptWithSessionKey(structCase.pucharPayload, structCase.longLength,
                                                   structCase.pcharPassword, D_UCHAR_TEST_SESSIONKEY,
                                                   structCase.boolEnvelopeOut ? &pucharEnvelope : nullptr,
                                                   structCase.boolLengthOut ? &longLength : nullptr)
                    : Cryrpt_Encrypt(structCase.pucharPayload, structCase.longLength, structCase.pcharPassword,
                                     structCase.boolEnvelopeOut ? &pucharEnvelope : nullptr,
                                     structCase.boolLengthOut ? &longLength : nullptr);
            EXPECT_EQ(-1, intResult);
            EXPECT_EQ(&ucharSentinel, pucharEnvelope);
            EXPECT_EQ(12345, longLength);
        }
    }
    unsigned char *pucharEnvelope = &ucharSentinel;
    long longLength = 12345;
    EXPECT_EQ(-1, Cryrpt_EncryptWithSessionKey(ucharPayload, 4, "pw", nullptr, &pucharEnvelope, &longLength));
    EXPECT_EQ(&ucharSentinel, pucharEnvelope);
    EXPECT_EQ(12345, longLength);
}

TEST_F(CryptTest, DecryptParameterErrorsLeaveOutputsUntouched) {
    Bytes bytesValid = Test_Encipher(Test_Bytes("ls"), "pw", D_UCHAR_TEST_SESSIONKEY);
    // An envelope that would decipher but for its first byte 0 ("pwd": L=3, so byte 1 keys it).
    unsigned char ucharZeroKey[16];
    memcpy(ucharZeroKey, D_UCHAR_TEST_SESSIONKEY, sizeof(ucharZeroKey));
    ucharZeroKey[0] = 0;
    Bytes bytesZeroFirst = Test_Encipher(Test_Bytes("ls"), "pwd", ucharZeroKey);
    // 17 bytes in an exactly sized buffer: a read of byte 17 would be caught.
    unsigned char *pucharShort = static_cast<unsigned char *>(malloc(17));
    memcpy(pucharShort, bytesValid.data(), 17);
    unsigned char ucharSentinel = 0;
    struct Case {
        const char *pcharName;
        const unsigned char *pucharEnvelope;
        long longLength;
        const char *pcharPassword;
        bool boolPayloadOut;
        bool boolLengthOut;
    } structCases[] = {
        {"envelope absent", nullptr, 20, "pw", true, true},
        {"17 bytes", pucharShort, 17, "pw", true, true},
        {"0 bytes", pucharShort, 0, "pw", true, true},
        {"negative length", pucharShort, -1, "pw", true, true},
        {"first byte 0", bytesZeroFirst.data(), static_cast<long>(bytesZeroFirst.size()), "pwd", true, true},
        {"empty password", bytesValid.data(), static_cast<long>(bytesValid.size()), "", true, true},
        {"password absent", bytesValid.data(), static_cast<long>(bytesValid.size()), nullptr, true, true},
        {"payload place absent", bytesValid.data(), static_cast<long>(bytesValid.size()), "pw", false, true},
        {"length place absent", bytesValid.data(), static_cast<long>(bytesValid.size()), "pw", true, false},
    };
    for (const Case &structCase : structCases) {
        SCOPED_TRACE(structCase.pcharName);
        unsigned char *pucharPayload = &ucharSentinel;
        long longLength = 12345;
        EXPECT_EQ(-1, Cryrpt_Decrypt(structCase.pucharEnvelope, structCase.longLength, structCase.pcharPassword,
                                     structCase.boolPayloadOut ? &pucharPayload : nullptr,
                                     structCase.boolLengthOut ? &longLength : nullptr));
        EXPECT_EQ(&ucharSentinel, pucharPayload);
        EXPECT_EQ(12345, longLength);
    }
    free(pucharShort);
    // The same bytes with a non-zero first byte are a good envelope.
    Bytes bytesBack;
    bytesZeroFirst[0] = D_UCHAR_TEST_SESSIONKEY[0];
    EXPECT_EQ(0, Test_Decrypt(bytesZeroFirst, "pwd", &bytesBack));
    EXPECT_EQ(Test_Bytes("ls"), bytesBack);
}

// The trace of both operations. The log is the day's file beside this executable; only what these calls
// append to it is read.
int Test_LogClock(struct tm *pstructTime, long *plongMilliseconds) {
    *pstructTime = {};
    pstructTime->tm_year = 2001 - 1900;
    pstructTime->tm_mon = 1;
    pstructTime->tm_mday = 3;
    *plongMilliseconds = 0;
    return 0;
}

std::string Test_ReadFrom(const std::string &stringPath, long longOffset) {
    std::string stringText;
    FILE *pfileLog = fopen(stringPath.c_str(), "rb");
    if (pfileLog == nullptr) return stringText;
    fseek(pfileLog, longOffset, SEEK_SET);
    char charBuffer[4096];
    size_t sizeRead = 0;
    while ((sizeRead = fread(charBuffer, 1, sizeof(charBuffer), pfileLog)) > 0) stringText.append(charBuffer, sizeRead);
    fclose(pfileLog);
    return stringText;
}

TEST_F(CryptTest, TraceShowsPasswordLengthNeverThePasswordAndReadableCheckData) {
    char charFolder[D_LONG_PLATFORM_MAX_PATH];
    ASSERT_EQ(0, Platform_GetExecutableFolder(charFolder, sizeof(charFolder)));
    std::string stringPath = std::string(charFolder) + D_CHAR_PLATFORM_PATH_SEPARATOR + "20010203.log";
    long longOffset = static_cast<long>(Test_ReadFrom(stringPath, 0).size());

    Log_SetClock(Test_LogClock);
    longForceTraceFlag = 1;
    const char *pcharPassword = "Zq7Secret!x";  // L=11, index 5
    Bytes bytesEnvelope = Test_Encipher(Test_Bytes("ls\t/\r\n"), pcharPassword, D_UCHAR_TEST_SESSIONKEY);
    Bytes bytesBack;
    EXPECT_EQ(0, Test_Decrypt(bytesEnvelope, pcharPassword, &bytesBack));
    Bytes bytesDrawn = Test_EncryptAt(1, Test_Bytes("ls"), pcharPassword);
    // Wrong first byte: with "a" K = 0x29 (check bytes 78, 74); "b" gives K = 0x2A, i.e. 'N', 'J'.
    Bytes bytesWithA = Test_Encipher(Test_Bytes("ls"), "a", D_UCHAR_TEST_SESSIONKEY);
    EXPECT_EQ(-1, Test_Decrypt(bytesWithA, "b", &bytesBack));
    // "\xB0" gives K = C8 + B0 = 0x78: the check bytes decipher to 00 and FC, neither printable.
    EXPECT_EQ(-1, Test_Decrypt(bytesWithA, "\xB0", &bytesBack));
    longForceTraceFlag = 0;
    Log_SetClock(nullptr);

    std::string stringLog = Test_ReadFrom(stringPath, longOffset);
    EXPECT_EQ(std::string::npos, stringLog.find(pcharPassword));
    EXPECT_NE(std::string::npos, stringLog.find("パスワード長=11"));
    EXPECT_NE(std::string::npos, stringLog.find("チェックデータ異常 1=N(78, 4e), 2=J(74, 4a)"));
    EXPECT_NE(std::string::npos, stringLog.find("チェックデータ異常 1=.(0, 0), 2=.(252, fc)"));
}

}  // namespace
