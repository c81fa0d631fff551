// Command processing over enciphered bodies: how lines are read, what each failure reports, the access
// log, the publication test on "get", and the settings changing while commands run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "config/config.h"
#include "crypt/crypt.h"
#include "folder_fixture.h"
#include "log/log.h"
#include "server/server.h"

namespace {

constexpr char D_CHARS_TEST_PASSWORD[] = "tarimuso";

std::string Encipher(const std::string &stringPayload, const char *pcharPassword) {
    unsigned char *pucharEnvelope = nullptr;
    long longLength = 0;
    EXPECT_EQ(0, Cryrpt_Encrypt(reinterpret_cast<const unsigned char *>(stringPayload.data()),
                                static_cast<long>(stringPayload.size()), pcharPassword, &pucharEnvelope, &longLength));
    std::string stringEnvelope(reinterpret_cast<char *>(pucharEnvelope), static_cast<size_t>(longLength));
    free(pucharEnvelope);
    return stringEnvelope;
}

struct Answer {
    int intResult;
    long longEnvelopeLength;
    std::string stringPayload;  // deciphered with the test's password
    std::string stringTrace;    // what the call wrote to the trace log
};

// Posts the payload, enciphered with the password, as the body of a request to /ftp.cgi; with the trace
// on unless told otherwise.
Answer Post(const std::string &stringPayload, const char *pcharPassword = D_CHARS_TEST_PASSWORD,
            bool boolTrace = true) {
    std::string stringEnvelope = Encipher(stringPayload, pcharPassword);
    std::string stringHeader =
        "POST /ftp.cgi HTTP/1.1\r\nContent-Length: " + std::to_string(stringEnvelope.size()) + "\r\n\r\n";
    std::vector<char> vectorRequest(stringHeader.begin(), stringHeader.end());
    vectorRequest.insert(vectorRequest.end(), stringEnvelope.begin(), stringEnvelope.end());
    vectorRequest.push_back('\0');

    size_t sizeTraceBefore = TodayLogSize("log");
    static unsigned char ucharSentinel = 0;
    unsigned char *pucharBody = &ucharSentinel;
    long longBodyLength = -7;
    longForceTraceFlag = boolTrace ? 1 : 0;
    Answer structAnswer = {Server_PostProcess(vectorRequest.data(), static_cast<long>(stringHeader.size()),
                                              static_cast<long>(stringEnvelope.size()), &pucharBody, &longBodyLength),
                           0, "", ""};
    longForceTraceFlag = 0;
    structAnswer.stringTrace = TodayLog("log", sizeTraceBefore);
    if (structAnswer.intResult != 0) {
        EXPECT_EQ(&ucharSentinel, pucharBody);
        EXPECT_EQ(-7, longBodyLength);
        return structAnswer;
    }
    structAnswer.longEnvelopeLength = longBodyLength;
    unsigned char *pucharPayload = nullptr;
    long longPayloadLength = 0;
    EXPECT_EQ(0, Cryrpt_Decrypt(pucharBody, longBodyLength, D_CHARS_TEST_PASSWORD, &pucharPayload, &longPayloadLength));
    if (pucharPayload != nullptr) {
        structAnswer.stringPayload.assign(reinterpret_cast<char *>(pucharPayload), static_cast<size_t>(longPayloadLength));
    }
    free(pucharPayload);
    free(pucharBody);
    return structAnswer;
}

// Whether the trace holds an entry with exactly this message.
bool TraceHas(const std::string &stringTrace, const std::string &stringMessage) {
    return stringTrace.find("- " + stringMessage + " \r\n") != std::string::npos;
}

class CommandTest : public ::testing::Test {
  protected:
    std::string stringTemp;
    std::string stringDocs;
    std::string stringListing;  // the listing of Docs, as the listing gives it
    std::string stringRootListing;

    void SetUp() override {
        stringTemp = CreateTempFolder();
        stringDocs = stringTemp + "/Docs";
        MakeFolder(stringDocs);
        WriteFile(stringDocs + "/file25", "0123456789abcdefghijklmno");
        WriteFile(stringDocs + "/with space", "spaced");
        WriteFile(stringDocs + "/12", "twelve");
        WriteFile(stringTemp + "/secret", "not published");
        ASSERT_EQ(0, Config_SetCryptPassword(D_CHARS_TEST_PASSWORD));
        Config_ReplaceSharedFolderList(MakeFolderList({stringDocs}));

        Config_SharedFolder *pstructFolders = MakeFolderList({stringDocs});
        stringListing = ListOf(stringDocs, pstructFolders);
        stringRootListing = ListOf("/", pstructFolders);
        Config_ReleaseSharedFolderList(&pstructFolders);
    }
    void TearDown() override {
        Config_ReplaceSharedFolderList(nullptr);
        RemoveTempFolder(stringTemp);
    }

    static std::string ListOf(const std::string &stringPath, const Config_SharedFolder *pstructFolders) {
        char *pcharText = nullptr;
        long longLength = 0;
        EXPECT_EQ(0, Server_CreateFileList(stringPath.c_str(), pstructFolders, &pcharText, &longLength));
        std::string stringText(pcharText != nullptr ? pcharText : "", static_cast<size_t>(longLength));
        free(pcharText);
        return stringText;
    }
};

TEST_F(CommandTest, CommandsAreAnsweredWithTheirEncipheredResult) {
    struct Case {
        const char *pcharName;
        std::string stringPayload;
        std::string stringExpected;
    };
    const std::string &D = stringDocs;
    const std::vector<Case> vectorCases = {
        {"ls of the root", "ls\t/\r\n", stringRootListing},
        {"ls of a share", "ls\t" + D + "\r\n", stringListing},
        {"ls without TAB", "ls" + D + "\r\n", stringListing},
        {"ls with a run of white space and more after the path", "ls \t\v\f" + D + " tail\r\n", stringListing},
        {"only the first line counts", "ls\t/\r\nget\t" + D + "/file25\t0\r\n", stringRootListing},
        {"get whole", "get\t" + D + "/file25\t0\r\n", "0123456789abcdefghijklmno"},
        {"get from an offset", "get\t" + D + "/file25\t10\r\n", "abcdefghijklmno"},
        {"get with a signed offset and bytes after it", "get " + D + "/file25  +24xyz\r\n", "o"},
        {"get of a name made of digits", "get\t" + D + "/12\t0\r\n", "twelve"},
    };
    for (const Case &structCase : vectorCases) {
        Answer structAnswer = Post(structCase.stringPayload);
        EXPECT_EQ(0, structAnswer.intResult) << structCase.pcharName;
        EXPECT_TRUE(structCase.stringExpected == structAnswer.stringPayload) << structCase.pcharName;
        EXPECT_EQ(static_cast<long>(structCase.stringExpected.size()) + 18, structAnswer.longEnvelopeLength)
            << structCase.pcharName;
    }
    // The last 15 bytes of 25 come in 33.
    EXPECT_EQ(33, Post("get\t" + D + "/file25\t10\r\n").longEnvelopeLength);
}

TEST_F(CommandTest, EveryFailureGivesNoAnswerAndSaysWhy) {
    struct Case {
        const char *pcharName;
        std::string stringPayload;
        const char *pcharPassword;
        const char *pcharTrace;
    };
    const std::string &D = stringDocs;
    const std::vector<Case> vectorCases = {
        {"another password", "ls\t/\r\n", "otherpwd", "Cryrpt_Decrypt 異常終了"},
        {"no CR LF", "ls\t/", D_CHARS_TEST_PASSWORD, "指示文形式が不正です"},
        {"LF alone", "ls\t/\n", D_CHARS_TEST_PASSWORD, "指示文形式が不正です"},
        {"empty payload", "", D_CHARS_TEST_PASSWORD, "指示文形式が不正です"},
        {"NUL before CR LF", std::string("ls\t/\0\r\n", 6), D_CHARS_TEST_PASSWORD, "指示文形式が不正です"},
        {"ls without path", "ls\r\n", D_CHARS_TEST_PASSWORD, "指示文形式が不正です２"},
        {"ls and a blank", "ls \r\n", D_CHARS_TEST_PASSWORD, "指示文形式が不正です２"},
        {"get without offset", "get\t" + D + "/file25\r\n", D_CHARS_TEST_PASSWORD, "指示文形式が不正です２"},
        {"get with digits glued to the path", "get\t" + D + "/file2510\r\n", D_CHARS_TEST_PASSWORD,
         "指示文形式が不正です２"},
        {"get with a sign and no digits", "get\t" + D + "/file25\t-\r\n", D_CHARS_TEST_PASSWORD,
         "指示文形式が不正です２"},
        {"get with an offset beyond 32 bits", "get\t" + D + "/file25\t2147483648\r\n", D_CHARS_TEST_PASSWORD,
         "指示文形式が不正です２"},
        {"GET in capitals", "GET\t" + D + "/file25\t0\r\n", D_CHARS_TEST_PASSWORD, "指示文の内容が不正です"},
        {"LS in capitals", "LS\t/\r\n", D_CHARS_TEST_PASSWORD, "指示文の内容が不正です"},
        {"another word", "put\t/\r\n", D_CHARS_TEST_PASSWORD, "指示文の内容が不正です"},
        {"ls of a logical path", "ls\t/Docs\r\n", D_CHARS_TEST_PASSWORD, "Server_CreateFileList 異常終了"},
        {"ls outside the shares", "ls\t" + stringTemp + "\r\n", D_CHARS_TEST_PASSWORD, "Server_CreateFileList 異常終了"},
        {"ls of a missing folder", "ls\t" + D + "/none\r\n", D_CHARS_TEST_PASSWORD, "Server_CreateFileList 異常終了"},
        {"get of a path cut at the blank", "get\t" + D + "/with space\t0\r\n", D_CHARS_TEST_PASSWORD,
         "指示文形式が不正です２"},
        {"get past the end", "get\t" + D + "/file25\t25\r\n", D_CHARS_TEST_PASSWORD, "Server_LoadFileData 異常終了"},
        {"get with a negative offset", "get\t" + D + "/file25\t-1\r\n", D_CHARS_TEST_PASSWORD,
         "Server_LoadFileData 異常終了"},
        {"get of a folder", "get\t" + D + "\t0\r\n", D_CHARS_TEST_PASSWORD, "Server_LoadFileData 異常終了"},
        {"get outside the shares", "get\t" + stringTemp + "/secret\t0\r\n", D_CHARS_TEST_PASSWORD,
         "指定のパスは公開対象ではありません"},
        {"get through ..", "get\t" + D + "/../secret\t0\r\n", D_CHARS_TEST_PASSWORD,
         "指定のパスは公開対象ではありません"},
        {"get of a share's neighbour", "get\t" + D + "x/secret\t0\r\n", D_CHARS_TEST_PASSWORD,
         "指定のパスは公開対象ではありません"},
    };
    for (const Case &structCase : vectorCases) {
        Answer structAnswer = Post(structCase.stringPayload, structCase.pcharPassword);
        EXPECT_EQ(-1, structAnswer.intResult) << structCase.pcharName;
        EXPECT_TRUE(TraceHas(structAnswer.stringTrace, structCase.pcharTrace))
            << structCase.pcharName << "\n" << structAnswer.stringTrace;
    }
}

TEST_F(CommandTest, TheAccessLogNamesTheTargetBeforeTheOperationRuns) {
    // Paths inside this test's own folder, since other test programs may write to the same log.
    size_t sizeBefore = TodayLogSize("access");
    EXPECT_EQ(-1, Post("ls\t" + stringTemp + "/unpublished\r\n").intResult);
    EXPECT_EQ(-1, Post("get\t" + stringTemp + "/secret\t0\r\n").intResult);
    EXPECT_EQ(0, Post("get\t" + stringDocs + "/file25\t3\r\n").intResult);
    EXPECT_EQ(-1, Post("ls\t" + stringTemp + "/undecipherable\r\n", "otherpwd").intResult);
    EXPECT_EQ(-1, Post("get\t" + stringTemp + "/unreadable\r\n").intResult);
    std::string stringLog = TodayLog("access", sizeBefore);
    const std::vector<std::string> vectorEntries = {
        "[FILE LIST]      対象パス = " + stringTemp + "/unpublished",
        "[DOWNLOAD FILE]  対象パス = " + stringTemp + "/secret",
        "[DOWNLOAD FILE]  対象パス = " + stringDocs + "/file25",
    };
    size_t sizeAt = 0;
    for (const std::string &stringEntry : vectorEntries) {
        sizeAt = stringLog.find(stringEntry, sizeAt);
        ASSERT_NE(std::string::npos, sizeAt) << stringEntry << "\n" << stringLog;
    }
    // Nothing for a body that cannot be deciphered or a line that cannot be read.
    EXPECT_EQ(std::string::npos, stringLog.find(stringTemp + "/undecipherable"));
    EXPECT_EQ(std::string::npos, stringLog.find(stringTemp + "/unreadable"));
}

TEST_F(CommandTest, EmptyListingsAndEmptyPasswords) {
    // No shared folders: an empty root listing in an envelope of 18 bytes.
    Config_ReplaceSharedFolderList(nullptr);
    Answer structEmpty = Post("ls\t/\r\n");
    EXPECT_EQ(0, structEmpty.intResult);
    EXPECT_EQ(18, structEmpty.longEnvelopeLength);
    // And "get" has nothing published to read from.
    EXPECT_EQ(-1, Post("get\t" + stringDocs + "/file25\t0\r\n").intResult);

    // With an empty password nothing can be deciphered.
    ASSERT_EQ(0, Config_SetCryptPassword(""));
    Answer structNoPassword = Post("ls\t/\r\n", "x");
    EXPECT_EQ(-1, structNoPassword.intResult);
    EXPECT_TRUE(TraceHas(structNoPassword.stringTrace, "Cryrpt_Decrypt 異常終了"));
}

TEST_F(CommandTest, TheRouterSendsTheEnvelopeAsAnOctetStream) {
    std::string stringEnvelope = Encipher("get\t" + stringDocs + "/file25\t20\r\n", D_CHARS_TEST_PASSWORD);
    std::string stringRequest =
        "POST /ftp.cgi HTTP/1.1\r\nContent-Length: " + std::to_string(stringEnvelope.size()) + "\r\n\r\n";
    long longHeader = static_cast<long>(stringRequest.size());
    stringRequest += stringEnvelope;
    std::vector<char> vectorRequest(stringRequest.begin(), stringRequest.end());
    vectorRequest.push_back('\0');
    char *pcharResponse = nullptr;
    long longResponseLength = 0;
    long longKind = -1;
    ASSERT_EQ(0, Server_CreateResponse(vectorRequest.data(), longHeader, static_cast<long>(stringEnvelope.size()),
                                       &pcharResponse, &longResponseLength, &longKind));
    std::string stringResponse(pcharResponse, static_cast<size_t>(longResponseLength));
    free(pcharResponse);
    EXPECT_EQ(D_LONG_SERVER_RESPONSEKIND_COMMAND, longKind);
    const std::string stringHeader = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: 23\r\n\r\n";
    ASSERT_EQ(stringHeader, stringResponse.substr(0, stringHeader.size()));
    unsigned char *pucharPayload = nullptr;
    long longPayloadLength = 0;
    ASSERT_EQ(0, Cryrpt_Decrypt(reinterpret_cast<const unsigned char *>(stringResponse.data()) + stringHeader.size(),
                                static_cast<long>(stringResponse.size() - stringHeader.size()), D_CHARS_TEST_PASSWORD,
                                &pucharPayload, &longPayloadLength));
    EXPECT_EQ("klmno", std::string(reinterpret_cast<char *>(pucharPayload), static_cast<size_t>(longPayloadLength)));
    free(pucharPayload);
}

TEST_F(CommandTest, SettingsMayChangeWhileCommandsRun) {
    // The settings side replaces the list and the password over and over; every command sees one whole
    // list and one password, and nothing is read after it was freed (the sanitizer build watches).
    std::atomic<bool> atomicStop{false};
    std::thread threadSettings([&] {
        for (long longRound = 0; !atomicStop.load(); ++longRound) {
            Config_ReplaceSharedFolderList(
                MakeFolderList(longRound % 2 == 0 ? std::vector<std::string>{stringDocs}
                                                  : std::vector<std::string>{"/nowhere", stringDocs}));
            Config_SetCryptPassword(longRound % 2 == 0 ? "tarimuso" : "tarimusx");
        }
    });
    const std::string stringRootA = "Docs\t<DIR>\t\t\t" + stringDocs + "\t/Docs\r\n";
    const std::string stringRootB = "nowhere\t<DIR>\t\t\t/nowhere\t/nowhere\r\n" + stringRootA;
    for (int intRound = 0; intRound < 200; ++intRound) {
        Answer structAnswer = Post("ls\t/\r\n", D_CHARS_TEST_PASSWORD, false);
        // Both passwords share length and first byte, so both decipher the test's envelopes.
        ASSERT_EQ(0, structAnswer.intResult);
        EXPECT_TRUE(structAnswer.stringPayload == stringRootA || structAnswer.stringPayload == stringRootB)
            << structAnswer.stringPayload;
    }
    atomicStop.store(true);
    threadSettings.join();
}

}  // namespace
