// sorvane-client's protocol pieces: the command line, the request as the server reads it, the answer's
// header, deciphering an answer piece by piece, the listing text and its table, the local names and
// sizes of a download, and the exchange against a scripted server on loopback.
#include "client/client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "crypt/crypt.h"
#include "text/text.h"

namespace {

typedef std::vector<unsigned char> Bytes;

const unsigned char D_UCHAR_TEST_SESSIONKEY[16] = {0xC8, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                                   0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFE};

Bytes Test_Bytes(const std::string &stringText) { return Bytes(stringText.begin(), stringText.end()); }

Bytes Test_Envelope(const Bytes &bytesPayload, const char *pcharPassword) {
    unsigned char *pucharEnvelope = nullptr;
    long longLength = 0;
    EXPECT_EQ(0, Cryrpt_EncryptWithSessionKey(bytesPayload.data(), static_cast<long>(bytesPayload.size()),
                                              pcharPassword, D_UCHAR_TEST_SESSIONKEY, &pucharEnvelope, &longLength));
    Bytes bytesEnvelope(pucharEnvelope, pucharEnvelope + longLength);
    free(pucharEnvelope);
    return bytesEnvelope;
}

// The command's answer as the server sends it.
Bytes Test_Answer(const Bytes &bytesPayload, const char *pcharPassword) {
    Bytes bytesEnvelope = Test_Envelope(bytesPayload, pcharPassword);
    Bytes bytesAnswer = Test_Bytes("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                                   std::to_string(bytesEnvelope.size()) + "\r\n\r\n");
    bytesAnswer.insert(bytesAnswer.end(), bytesEnvelope.begin(), bytesEnvelope.end());
    return bytesAnswer;
}

struct Test_Arguments {
    std::vector<std::string> vectorArguments;
    const char *pcharEnvironment;
};

int Test_Parse(const Test_Arguments &structArguments, Client_Options *pstructOptions, std::string *pstringMessage) {
    std::vector<char *> vectorArgv;
    std::vector<std::string> vectorCopies = structArguments.vectorArguments;
    vectorCopies.insert(vectorCopies.begin(), "sorvane-client");
    for (std::string &stringArgument : vectorCopies) vectorArgv.push_back(&stringArgument[0]);
    vectorArgv.push_back(nullptr);
    char charMessage[D_SIZE_CLIENT_MESSAGE] = "";
    int intResult =
        Client_ParseArguments(static_cast<int>(vectorCopies.size()), vectorArgv.data(),
                              structArguments.pcharEnvironment, pstructOptions, charMessage, sizeof(charMessage));
    *pstringMessage = charMessage;
    return intResult;
}

TEST(ClientTest, ArgumentsGiveCommandServerPasswordAndPaths) {
    struct Case {
        Test_Arguments structArguments;
        long longCommand;
        const char *pcharHost;
        long longPort;
        const char *pcharPassword;
        const char *pcharPath;
        const char *pcharOutput;
    } structCases[] = {
        {{{"ls", "/"}, nullptr}, D_LONG_CLIENT_COMMAND_LIST, "127.0.0.1", 8080, "tarimuso", "/", ""},
        {{{"--host", "10.0.0.5", "--port", "9090", "--password", "secret", "ls", "/srv"}, nullptr},
         D_LONG_CLIENT_COMMAND_LIST,
         "10.0.0.5",
         9090,
         "secret",
         "/srv",
         ""},
        {{{"--host=example", "--port=1", "get", "/srv/a.txt", "-o", "b.txt"}, nullptr},
         D_LONG_CLIENT_COMMAND_GET,
         "example",
         1,
         "tarimuso",
         "/srv/a.txt",
         "b.txt"},
        // Options may follow the command; --output is -o's long form.
        {{{"get", "/srv/a.txt", "--output=c.bin", "--port", "65535"}, nullptr},
         D_LONG_CLIENT_COMMAND_GET,
         "127.0.0.1",
         65535,
         "tarimuso",
         "/srv/a.txt",
         "c.bin"},
        // The environment's password stands in for the option; the option wins; an empty one is not set.
        {{{"ls", "/"}, "fromenv"}, D_LONG_CLIENT_COMMAND_LIST, "127.0.0.1", 8080, "fromenv", "/", ""},
        {{{"--password", "fromoption", "ls", "/"}, "fromenv"},
         D_LONG_CLIENT_COMMAND_LIST,
         "127.0.0.1",
         8080,
         "fromoption",
         "/",
         ""},
        {{{"ls", "/"}, ""}, D_LONG_CLIENT_COMMAND_LIST, "127.0.0.1", 8080, "tarimuso", "/", ""},
        // After "--" a path may begin with '-'.
        {{{"get", "--", "-odd"}, nullptr}, D_LONG_CLIENT_COMMAND_GET, "127.0.0.1", 8080, "tarimuso", "-odd", ""},
        {{{"ls", "/", "--help"}, nullptr}, D_LONG_CLIENT_COMMAND_HELP, "127.0.0.1", 8080, "", "", ""},
    };
    for (const Case &structCase : structCases) {
        SCOPED_TRACE(structCase.structArguments.vectorArguments.back());
        Client_Options structOptions;
        std::string stringMessage;
        ASSERT_EQ(0, Test_Parse(structCase.structArguments, &structOptions, &stringMessage)) << stringMessage;
        EXPECT_EQ(structCase.longCommand, structOptions.longCommand);
        EXPECT_STREQ(structCase.pcharHost, structOptions.charHost);
        EXPECT_EQ(structCase.longPort, structOptions.longPort);
        EXPECT_STREQ(structCase.pcharPassword, structOptions.charPassword);
        EXPECT_STREQ(structCase.pcharPath, structOptions.charPath);
        EXPECT_STREQ(structCase.pcharOutput, structOptions.charOutput);
    }
}

// The messages are CP932, as every text of the program.
TEST(ClientTest, BadCommandLinesAreRefusedWithAMessage) {
    const char *const pcharCp932 = "CP932 で表せない文字を含んでいます";
    const struct Case {
        Test_Arguments structArguments;
        std::string stringMessage;
    } structCases[] = {
        {{{}, nullptr}, "コマンドが指定されていません (ls か get を指定してください)"},
        {{{"ls"}, nullptr}, "パスが指定されていません"},
        {{{"dir", "/"}, nullptr}, "不明なコマンドです: dir (ls か get を指定してください)"},
        {{{"ls", "/", "/more"}, nullptr}, "引数が多すぎます (/more)"},
        {{{"ls", "/", "-o", "x"}, nullptr}, "-o は get でしか使えません"},
        {{{"get", "/a", "-o"}, nullptr}, "オプション -o には値が必要です"},
        {{{"get", "/a", "-o", ""}, nullptr}, std::string("-o: ファイル名が空か長すぎるか、") + pcharCp932},
        {{{"--port", "0", "ls", "/"}, nullptr}, "--port: 0 はポート番号 (1-65535) ではありません"},
        {{{"--port", "65536", "ls", "/"}, nullptr}, "--port: 65536 はポート番号 (1-65535) ではありません"},
        {{{"--port", "80x", "ls", "/"}, nullptr}, "--port: 80x はポート番号 (1-65535) ではありません"},
        {{{"--host=", "ls", "/"}, nullptr}, "--host: ホスト名が空か長すぎます"},
        {{{"--password=", "ls", "/"}, "fromenv"}, std::string("パスワードが空か長すぎるか、") + pcharCp932},
        {{{"--verbose", "ls", "/"}, nullptr}, "不明なオプションです: --verbose"},
        {{{"ls", "/", "--port"}, nullptr}, "オプション --port には値が必要です"},
    };
    for (const Case &structCase : structCases) {
        std::string stringJoined;
        for (const std::string &stringArgument : structCase.structArguments.vectorArguments) {
            stringJoined += stringArgument + " ";
        }
        SCOPED_TRACE(stringJoined);
        Client_Options structOptions;
        std::string stringMessage;
        EXPECT_EQ(-1, Test_Parse(structCase.structArguments, &structOptions, &stringMessage));
        EXPECT_FALSE(stringMessage.empty());
        EXPECT_EQ(structCase.stringMessage, stringMessage);
    }
    // A message that does not fit its buffer is cut at a whole character: with 501 'x' the buffer's
    // last byte would be the first byte of the Japanese text's first character, with 500 its second.
    std::string stringLong(501, 'x');
    Client_Options structOptions;
    std::string stringMessage;
    for (size_t sizeShift = 0; sizeShift < 2; ++sizeShift) {
        SCOPED_TRACE(sizeShift);
        EXPECT_EQ(-1, Test_Parse({{"--port", stringLong.substr(sizeShift), "ls", "/"}, nullptr}, &structOptions,
                                 &stringMessage));
        EXPECT_LT(stringMessage.size(), static_cast<size_t>(D_SIZE_CLIENT_MESSAGE));
        EXPECT_EQ(stringMessage.size(), Text_WholeCharacters(stringMessage.c_str(), stringMessage.size()));
        EXPECT_EQ(0u, stringMessage.find("--port: xxx"));
    }
}

// On POSIX the arguments come in the terminal's encoding and travel as CP932.
TEST(ClientTest, ArgumentsAreConvertedFromTheTerminalToCp932) {
    std::string stringSaved = setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(nullptr, setlocale(LC_CTYPE, "C.UTF-8"));
    Client_Options structOptions;
    std::string stringMessage;
    int intResult =
        Test_Parse({{"get", u8"/srv/ソフト/表.txt", "-o", u8"能.txt"}, nullptr}, &structOptions, &stringMessage);
    setlocale(LC_CTYPE, stringSaved.c_str());
    ASSERT_EQ(0, intResult) << stringMessage;
    EXPECT_STREQ("/srv/\x83\x5C\x83\x74\x83\x67/\x95\x5C.txt", structOptions.charPath);
    EXPECT_STREQ("\x94\x5C.txt", structOptions.charOutput);

    // An argument quoted in a message is converted too, so that the whole message is CP932.
    ASSERT_NE(nullptr, setlocale(LC_CTYPE, "C.UTF-8"));
    intResult = Test_Parse({{"ls", "/", u8"/ソフト"}, nullptr}, &structOptions, &stringMessage);
    setlocale(LC_CTYPE, stringSaved.c_str());
    EXPECT_EQ(-1, intResult);
    EXPECT_EQ("引数が多すぎます (/\x83\x5C\x83\x74\x83\x67)", stringMessage);
}

TEST(ClientTest, CommandLinesCarryThePathAndOffsetAsTheServerReadsThem) {
    char charLine[64];
    ASSERT_EQ(0, Client_FormatListCommand("/", charLine, sizeof(charLine)));
    EXPECT_STREQ("ls\t/\r\n", charLine);
    // A trail byte 0x5C stays where it is.
    ASSERT_EQ(0, Client_FormatListCommand("C:\\\x83\x5C\x83\x74\x83\x67", charLine, sizeof(charLine)));
    EXPECT_STREQ("ls\tC:\\\x83\x5C\x83\x74\x83\x67\r\n", charLine);
    ASSERT_EQ(0, Client_FormatGetCommand("/srv/a.txt", 0, charLine, sizeof(charLine)));
    EXPECT_STREQ("get\t/srv/a.txt\t0\r\n", charLine);
    ASSERT_EQ(0, Client_FormatGetCommand("/srv/a.txt", 2147483647LL, charLine, sizeof(charLine)));
    EXPECT_STREQ("get\t/srv/a.txt\t2147483647\r\n", charLine);

    // The server ends a path at white space, so such a path would name another file; offsets are
    // signed 32-bit on the wire.
    struct Case {
        const char *pcharPath;
        long long longlongOffset;
    } structRefused[] = {{"", 0},      {"/my file", 0}, {"/a\tb", 0},        {"/a\r\nls\t/", 0},
                         {"/v\vf", 0}, {"/x", -1},      {"/x", 2147483648LL}};
    for (const Case &structCase : structRefused) {
        SCOPED_TRACE(structCase.pcharPath);
        EXPECT_EQ(-1,
                  Client_FormatGetCommand(structCase.pcharPath, structCase.longlongOffset, charLine, sizeof(charLine)));
        if (structCase.longlongOffset == 0) {
            EXPECT_EQ(-1, Client_FormatListCommand(structCase.pcharPath, charLine, sizeof(charLine)));
        }
    }
    // A line that does not fit its buffer is refused, not cut.
    char charSmall[10];
    EXPECT_EQ(-1, Client_FormatListCommand("/abcd", charSmall, sizeof(charSmall)));
    EXPECT_EQ(0, Client_FormatListCommand("/abc", charSmall, sizeof(charSmall)));
    EXPECT_STREQ("ls\t/abc\r\n", charSmall);
}

// The request is read back the way the server reads it: the header up to its blank line, the body
// of Content-Length bytes, and the body as an envelope of the command line.
TEST(ClientTest, RequestIsAPostWhoseBodyDeciphersToTheCommandLine) {
    char *pcharRequest = nullptr;
    long longLength = 0;
    ASSERT_EQ(0, Client_BuildRequest("127.0.0.1", 8080, "ls\t/\r\n", "tarimuso", &pcharRequest, &longLength));
    std::string stringRequest(pcharRequest, static_cast<size_t>(longLength));
    free(pcharRequest);
    const std::string stringHeader = "POST /ftp.cgi HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nContent-Length: 24\r\n\r\n";
    ASSERT_EQ(stringHeader, stringRequest.substr(0, stringHeader.size()));
    ASSERT_EQ(stringHeader.size() + 24, stringRequest.size());
    EXPECT_EQ(static_cast<long>(stringRequest.size()), Client_RequestLength("127.0.0.1", 8080, 6));

    const unsigned char *pucharBody =
        reinterpret_cast<const unsigned char *>(stringRequest.data() + stringHeader.size());
    unsigned char *pucharPayload = nullptr;
    long longPayload = 0;
    ASSERT_EQ(0, Cryrpt_Decrypt(pucharBody, 24, "tarimuso", &pucharPayload, &longPayload));
    EXPECT_EQ("ls\t/\r\n", std::string(reinterpret_cast<char *>(pucharPayload), static_cast<size_t>(longPayload)));
    free(pucharPayload);
    EXPECT_EQ(-1, Cryrpt_Decrypt(pucharBody, 24, "other", &pucharPayload, &longPayload));
}

// The server takes at most 1023 bytes; the request that reaches that is built, one byte more is not.
TEST(ClientTest, RequestLimitIsTheServers1023Bytes) {
    std::string stringPath = "/";
    while (Client_RequestLength("127.0.0.1", 8080, static_cast<long>(stringPath.size()) + 5) < 1023) stringPath += "x";
    std::string stringLine = "ls\t" + stringPath + "\r\n";
    ASSERT_EQ(1023, Client_RequestLength("127.0.0.1", 8080, static_cast<long>(stringLine.size())));
    char *pcharRequest = nullptr;
    long longLength = 0;
    ASSERT_EQ(0, Client_BuildRequest("127.0.0.1", 8080, stringLine.c_str(), "tarimuso", &pcharRequest, &longLength));
    EXPECT_EQ(1023, longLength);
    free(pcharRequest);
    std::string stringLonger = "ls\t" + stringPath + "y\r\n";
    pcharRequest = nullptr;
    EXPECT_EQ(-1, Client_BuildRequest("127.0.0.1", 8080, stringLonger.c_str(), "tarimuso", &pcharRequest, &longLength));
    EXPECT_EQ(nullptr, pcharRequest);
    // An empty password is refused by the cipher.
    EXPECT_EQ(-1, Client_BuildRequest("127.0.0.1", 8080, "ls\t/\r\n", "", &pcharRequest, &longLength));
}

TEST(ClientTest, AnswerHeaderGivesStatusAndContentLength) {
    struct Case {
        const char *pcharHeader;
        int intResult;
        long longStatus;
        long long longlongContentLength;
    } structCases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: 33\r\n\r\n", 0, 200, 33},
        {"HTTP/1.0 200 OK\r\ncontent-length:18\r\n\r\n", 0, 200, 18},
        {"HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 2147483647 \r\n\r\n", 0, 200, 2147483647LL},
        {"HTTP/1.1 400 Bad Request\r\nContent-Type: text/xml; charset=utf-8\r\nConnection: close\r\n\r\n", 0, 400, -1},
        {"HTTP/1.1 200\r\nContent-Length: 20\r\nContent-Length: 20\r\n\r\n", 0, 200, 20},
        // Not an answer that can be trusted with a length.
        {"HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\n", -1, 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12x\r\n\r\n", -1, 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", -1, 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 20\r\nContent-Length: 21\r\n\r\n", -1, 0, 0},
        {"HTTP/1.1 2x0 OK\r\n\r\n", -1, 0, 0},
        {"SSH-2.0-x\r\n\r\n", -1, 0, 0},
    };
    for (const Case &structCase : structCases) {
        SCOPED_TRACE(structCase.pcharHeader);
        long longLength = static_cast<long>(strlen(structCase.pcharHeader));
        ASSERT_EQ(longLength, Client_FindHeaderEnd(structCase.pcharHeader, longLength));
        Client_AnswerHeader structHeader = {0, 0, 0};
        ASSERT_EQ(structCase.intResult, Client_ParseAnswerHeader(structCase.pcharHeader, longLength, &structHeader));
        if (structCase.intResult != 0) continue;
        EXPECT_EQ(structCase.longStatus, structHeader.longStatus);
        EXPECT_EQ(structCase.longlongContentLength, structHeader.longlongContentLength);
    }
    // The blank line has not come yet; the header ends before the body.
    EXPECT_EQ(-1, Client_FindHeaderEnd("HTTP/1.1 200 OK\r\nContent-Length: 18\r\n\r", 39));
    EXPECT_EQ(19, Client_FindHeaderEnd("HTTP/1.1 200 OK\r\n\r\n\r\n\r\n", 23));
}

// A payload deciphered in pieces of any size, each with the envelope's opening only, is the payload.
TEST(ClientTest, AnswerDeciphersPieceByPiece) {
    Bytes bytesPayload;
    for (int intIndex = 0; intIndex < 1000; ++intIndex) {
        bytesPayload.push_back(static_cast<unsigned char>(intIndex * 7));
    }
    Bytes bytesEnvelope = Test_Envelope(bytesPayload, "tarimuso");
    ASSERT_EQ(0, Client_CheckEnvelopeHeader(bytesEnvelope.data(), "tarimuso"));
    EXPECT_EQ(-1, Client_CheckEnvelopeHeader(bytesEnvelope.data(), "wrong"));
    for (size_t sizePiece : {static_cast<size_t>(1), static_cast<size_t>(13), static_cast<size_t>(1000)}) {
        SCOPED_TRACE(sizePiece);
        Bytes bytesJoined;
        for (size_t sizeStart = 18; sizeStart < bytesEnvelope.size(); sizeStart += sizePiece) {
            size_t sizeEnd = std::min(bytesEnvelope.size(), sizeStart + sizePiece);
            Bytes bytesPiece(bytesEnvelope.begin() + static_cast<long>(sizeStart),
                             bytesEnvelope.begin() + static_cast<long>(sizeEnd));
            ASSERT_EQ(0, Client_DecipherPiece(bytesEnvelope.data(), bytesPiece.data(),
                                              static_cast<long>(bytesPiece.size()), "tarimuso"));
            bytesJoined.insert(bytesJoined.end(), bytesPiece.begin(), bytesPiece.end());
        }
        EXPECT_EQ(bytesPayload, bytesJoined);
    }
    Bytes bytesPiece(bytesEnvelope.begin() + 18, bytesEnvelope.begin() + 30);
    EXPECT_EQ(-1, Client_DecipherPiece(bytesEnvelope.data(), bytesPiece.data(), 12, "wrong"));
}

// Listing texts as the server writes them: six fields, five TABs, CR LF.
TEST(ClientTest, ListingTextSplitsIntoEntries) {
    const std::string stringRoot = "D\t<DIR>\t\t\tC:\\D\t/D\r\n";
    ASSERT_EQ(19u, stringRoot.size());
    Client_ListingEntry *pstructEntries = nullptr;
    long longCount = 0;
    ASSERT_EQ(0, Client_ParseListing(reinterpret_cast<const unsigned char *>(stringRoot.data()),
                                     static_cast<long>(stringRoot.size()), &pstructEntries, &longCount));
    ASSERT_EQ(1, longCount);
    EXPECT_STREQ("D", pstructEntries[0].charFileName);
    EXPECT_STREQ("<DIR>", pstructEntries[0].charFileType);
    EXPECT_STREQ("", pstructEntries[0].charFileSize);
    EXPECT_STREQ("", pstructEntries[0].charUpdateTime);
    EXPECT_STREQ("C:\\D", pstructEntries[0].charPhysicalPath);
    EXPECT_STREQ("/D", pstructEntries[0].charLogicalPath);
    free(pstructEntries);

    const std::string stringFolder =
        "..\t<DIR>\t\t\t\t/\r\n"
        "Sub\t<DIR>\t\t\t/srv/Docs/Sub\t/Docs/Sub\r\n"
        "\x95\x5C.txt\t\t1234\t2024/01/05 09:03:07\t/srv/Docs/\x95\x5C.txt\t/Docs/\x95\x5C.txt\r\n";
    pstructEntries = nullptr;
    ASSERT_EQ(0, Client_ParseListing(reinterpret_cast<const unsigned char *>(stringFolder.data()),
                                     static_cast<long>(stringFolder.size()), &pstructEntries, &longCount));
    ASSERT_EQ(3, longCount);
    EXPECT_STREQ("..", pstructEntries[0].charFileName);
    EXPECT_STREQ("", pstructEntries[0].charPhysicalPath);
    EXPECT_STREQ("/", pstructEntries[0].charLogicalPath);
    EXPECT_STREQ("/srv/Docs/Sub", pstructEntries[1].charPhysicalPath);
    EXPECT_STREQ("\x95\x5C.txt", pstructEntries[2].charFileName);
    EXPECT_STREQ("", pstructEntries[2].charFileType);
    EXPECT_STREQ("1234", pstructEntries[2].charFileSize);
    EXPECT_STREQ("2024/01/05 09:03:07", pstructEntries[2].charUpdateTime);
    EXPECT_EQ(2, Client_FindEntry(pstructEntries, longCount, "/srv/Docs/\x95\x5C.txt"));
    EXPECT_EQ(-1, Client_FindEntry(pstructEntries, longCount, "/srv/Docs"));
    free(pstructEntries);

    // The empty root listing has no lines.
    pstructEntries = reinterpret_cast<Client_ListingEntry *>(1);
    ASSERT_EQ(0, Client_ParseListing(nullptr, 0, &pstructEntries, &longCount));
    EXPECT_EQ(nullptr, pstructEntries);
    EXPECT_EQ(0, longCount);
}

TEST(ClientTest, TextsThatAreNotListingsAreRefused) {
    const std::string stringLongName(512, 'n');
    const std::string stringCases[] = {
        "D\t<DIR>\t\t\tC:\\D\t/D",                   // no CR LF at the end
        "D\t<DIR>\t\t\tC:\\D\t/D\n",                 // LF alone
        "D\t<DIR>\t\tC:\\D\t/D\r\n",                 // five fields
        "D\t<DIR>\t\t\tC:\\D\t/D\textra\r\n",        // seven fields
        "D\t<DIR>\t\t\tC:\\D\t/D\r\nE\t<DIR>\r\n",   // a bad second line
        stringLongName + "\t\t1\t\t/x\t/x\r\n",      // a name longer than its field
        std::string("a\0b\t\t1\t\t/x\t/x\r\n", 16),  // a NUL inside a field
        "HTTP/1.1 200 OK\r\n",
    };
    for (const std::string &stringCase : stringCases) {
        SCOPED_TRACE(stringCase);
        Client_ListingEntry *pstructEntries = nullptr;
        long longCount = -5;
        EXPECT_EQ(-1, Client_ParseListing(reinterpret_cast<const unsigned char *>(stringCase.data()),
                                          static_cast<long>(stringCase.size()), &pstructEntries, &longCount));
        EXPECT_EQ(nullptr, pstructEntries);
        EXPECT_EQ(-5, longCount);
    }
}

// Columns line up on a terminal, where a double-byte CP932 character takes two columns as it takes
// two bytes; what a server could use to steer the terminal is shown as '?'.
TEST(ClientTest, ListingTableAlignsColumnsAndDefusesControlBytes) {
    Client_ListingEntry structEntries[3];
    memset(structEntries, 0, sizeof(structEntries));
    snprintf(structEntries[0].charFileName, 512, "%s", "..");
    snprintf(structEntries[0].charFileType, 32, "%s", "<DIR>");
    snprintf(structEntries[1].charFileName, 512, "%s", "\x95\x5C\x8C\x76\x8E\x5A.xls");  // 表計算.xls
    snprintf(structEntries[1].charFileSize, 32, "%s", "1234");
    snprintf(structEntries[1].charUpdateTime, 21, "%s", "2024/01/05 09:03:07");
    snprintf(structEntries[1].charPhysicalPath, 260, "%s", "/srv/\x95\x5C\x8C\x76\x8E\x5A.xls");
    snprintf(structEntries[2].charFileName, 512, "%s", "evil\x1b]0;x\x07\x95");  // escape, bell, a cut character
    snprintf(structEntries[2].charFileSize, 32, "%s", "7");
    snprintf(structEntries[2].charUpdateTime, 21, "%s", "2024/12/31 23:59:59");
    snprintf(structEntries[2].charPhysicalPath, 260, "%s", "/srv/evil");
    char *pcharTable = nullptr;
    ASSERT_EQ(0, Client_FormatListing(structEntries, 3, &pcharTable));
    // Widths: name 11 ("evil?]0;x??"), size 6 (the heading), time 19; the headings are Japanese, two
    // columns a character as they are two bytes; two blanks between columns, none at the end.
    const std::string stringExpected =
        "名前" + std::string(9, ' ') + "サイズ" + std::string(2, ' ') + "更新日時" + std::string(13, ' ') +
        "パス\n" + ".." + std::string(11, ' ') + "<DIR>\n" + "\x95\x5C\x8C\x76\x8E\x5A.xls" + std::string(3, ' ') +
        "1234" + std::string(4, ' ') + "2024/01/05 09:03:07  /srv/\x95\x5C\x8C\x76\x8E\x5A.xls\n" +
        "evil?]0;x??  7" + std::string(7, ' ') + "2024/12/31 23:59:59  /srv/evil\n";
    EXPECT_EQ(std::string("\x96\xBC\x91\x4F"), std::string("名前"));  // the literal is CP932
    EXPECT_EQ(stringExpected, std::string(pcharTable));
    free(pcharTable);
}

TEST(ClientTest, ParentAndFileNameStepOverDoubleByteCharacters) {
    struct Case {
        const char *pcharRemote;
        const char *pcharParent;  // nullptr: none
        const char *pcharName;    // nullptr: none
    } structCases[] = {
        {"/srv/docs/a.txt", "/srv/docs", "a.txt"},
        {"C:\\A\\Docs\\x.txt", "C:\\A\\Docs", "x.txt"},
        // ソ is 83 5C: its trail byte is not a separator.
        {"C:\\\x83\x5C\x83\x74\x83\x67\\\x83\x5C", "C:\\\x83\x5C\x83\x74\x83\x67", "\x83\x5C"},
        {"/srv/\x95\x5C", "/srv", "\x95\x5C"},
        {"plain", nullptr, "plain"},
        {"/top", nullptr, "top"},  // its folder would be "/", which asks for the virtual root
        {"/srv/", "/srv", nullptr},
        {"/srv/..", "/srv", nullptr},
        {"/srv/.", "/srv", nullptr},
        {"/srv/a:b", "/srv", nullptr},
        {"/srv/what?", "/srv", nullptr},
        {"/srv/\x83\x7C", "/srv", "\x83\x7C"},  // a trail byte 7C is not a '|'
    };
    for (const Case &structCase : structCases) {
        SCOPED_TRACE(structCase.pcharRemote);
        char charOut[64];
        if (structCase.pcharParent == nullptr) {
            EXPECT_EQ(-1, Client_ParentPath(structCase.pcharRemote, charOut, sizeof(charOut)));
        } else {
            ASSERT_EQ(0, Client_ParentPath(structCase.pcharRemote, charOut, sizeof(charOut)));
            EXPECT_STREQ(structCase.pcharParent, charOut);
        }
        if (structCase.pcharName == nullptr) {
            EXPECT_EQ(-1, Client_DefaultOutputName(structCase.pcharRemote, charOut, sizeof(charOut)));
        } else {
            ASSERT_EQ(0, Client_DefaultOutputName(structCase.pcharRemote, charOut, sizeof(charOut)));
            EXPECT_STREQ(structCase.pcharName, charOut);
        }
    }
    char charSmall[4];
    EXPECT_EQ(-1, Client_DefaultOutputName("/srv/long.txt", charSmall, sizeof(charSmall)));
    EXPECT_EQ(-1, Client_ParentPath("/srvlong/x", charSmall, sizeof(charSmall)));
}

// The offset of a resumed download is the size of what is already there.
TEST(ClientTest, LocalFileSizeIsTheResumeOffset) {
    char charFolder[] = "/tmp/sorvane-client-test-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(charFolder));
    std::string stringFile = std::string(charFolder) + "/part.bin";
    long long longlongSize = -1;
    ASSERT_EQ(0, Client_GetLocalFileSize(stringFile.c_str(), &longlongSize));
    EXPECT_EQ(0, longlongSize);
    FILE *pfileWrite = fopen(stringFile.c_str(), "wb");
    ASSERT_NE(nullptr, pfileWrite);
    std::string stringData(1234, 'z');
    fwrite(stringData.data(), 1, stringData.size(), pfileWrite);
    fclose(pfileWrite);
    ASSERT_EQ(0, Client_GetLocalFileSize(stringFile.c_str(), &longlongSize));
    EXPECT_EQ(1234, longlongSize);
    // A folder where the file should be cannot be resumed into.
    EXPECT_EQ(-1, Client_GetLocalFileSize(charFolder, &longlongSize));
    unlink(stringFile.c_str());
    rmdir(charFolder);
}

TEST(ClientTest, ProgressLineShowsBarPercentAndBytes) {
    char charLine[128];
    ASSERT_EQ(0, Client_FormatProgress(0, 2048, charLine, sizeof(charLine)));
    EXPECT_STREQ("\r[------------------------------]   0%  0 B / 2048 B ", charLine);
    ASSERT_EQ(0, Client_FormatProgress(3 * 1024 * 1024 / 2, 3 * 1024 * 1024, charLine, sizeof(charLine)));
    EXPECT_STREQ("\r[###############---------------]  50%  1.5 MiB / 3.0 MiB ", charLine);
    ASSERT_EQ(0, Client_FormatProgress(20480, 20480, charLine, sizeof(charLine)));
    EXPECT_STREQ("\r[##############################] 100%  20.0 KiB / 20.0 KiB ", charLine);
    ASSERT_EQ(0, Client_FormatProgress(0, 0, charLine, sizeof(charLine)));
    EXPECT_STREQ("\r[##############################] 100%  0 B / 0 B ", charLine);
    char charSmall[16];
    EXPECT_EQ(-1, Client_FormatProgress(1, 2, charSmall, sizeof(charSmall)));
}

// A server on loopback that takes one request and answers with a script: pieces sent one by one, then
// the connection closed.
struct Test_Server {
    int intListen;
    long longPort;
    std::vector<Bytes> vectorPieces;
    std::string stringRequest;
    std::thread threadServer;
};

void Test_ServeOnce(Test_Server *pstructServer) {
    int intClient = accept(pstructServer->intListen, nullptr, nullptr);
    if (intClient < 0) return;
    std::string stringReceived;
    char charBuffer[2048];
    for (;;) {
        size_t sizeHeaderEnd = stringReceived.find("\r\n\r\n");
        if (sizeHeaderEnd != std::string::npos) {
            size_t sizeLengthAt = stringReceived.find("Content-Length: ");
            size_t sizeBody = sizeLengthAt == std::string::npos
                                  ? 0
                                  : strtoul(stringReceived.c_str() + sizeLengthAt + 16, nullptr, 10);
            if (stringReceived.size() >= sizeHeaderEnd + 4 + sizeBody) break;
        }
        ssize_t ssizeGot = recv(intClient, charBuffer, sizeof(charBuffer), 0);
        if (ssizeGot <= 0) break;
        stringReceived.append(charBuffer, static_cast<size_t>(ssizeGot));
    }
    pstructServer->stringRequest = stringReceived;
    for (const Bytes &bytesPiece : pstructServer->vectorPieces) {
        if (send(intClient, bytesPiece.data(), bytesPiece.size(), MSG_NOSIGNAL) < 0) break;
    }
    close(intClient);
}

void Test_StartServer(Test_Server *pstructServer, const std::vector<Bytes> &vectorPieces) {
    pstructServer->vectorPieces = vectorPieces;
    pstructServer->intListen = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(pstructServer->intListen, 0);
    struct sockaddr_in structAddress;
    memset(&structAddress, 0, sizeof(structAddress));
    structAddress.sin_family = AF_INET;
    structAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(
        0, bind(pstructServer->intListen, reinterpret_cast<struct sockaddr *>(&structAddress), sizeof(structAddress)));
    socklen_t socklenAddress = sizeof(structAddress);
    ASSERT_EQ(
        0, getsockname(pstructServer->intListen, reinterpret_cast<struct sockaddr *>(&structAddress), &socklenAddress));
    pstructServer->longPort = ntohs(structAddress.sin_port);
    ASSERT_EQ(0, listen(pstructServer->intListen, 1));
    pstructServer->threadServer = std::thread(Test_ServeOnce, pstructServer);
}

void Test_StopServer(Test_Server *pstructServer) {
    if (pstructServer->threadServer.joinable()) pstructServer->threadServer.join();
    close(pstructServer->intListen);
}

// Splits bytes into pieces of the given size.
std::vector<Bytes> Test_Split(const Bytes &bytesAll, size_t sizePiece) {
    std::vector<Bytes> vectorPieces;
    for (size_t sizeStart = 0; sizeStart < bytesAll.size(); sizeStart += sizePiece) {
        size_t sizeEnd = std::min(bytesAll.size(), sizeStart + sizePiece);
        vectorPieces.push_back(
            Bytes(bytesAll.begin() + static_cast<long>(sizeStart), bytesAll.begin() + static_cast<long>(sizeEnd)));
    }
    return vectorPieces;
}

TEST(ClientTest, ExchangeTellsEveryWayAnAnswerCanGo) {
    Bytes bytesPayload;
    for (int intIndex = 0; intIndex < 5000; ++intIndex) {
        bytesPayload.push_back(static_cast<unsigned char>(intIndex % 251));
    }
    Bytes bytesAnswer = Test_Answer(bytesPayload, "tarimuso");
    long longHeader =
        Client_FindHeaderEnd(reinterpret_cast<const char *>(bytesAnswer.data()), static_cast<long>(bytesAnswer.size()));
    ASSERT_GT(longHeader, 0);
    Bytes bytesCut(bytesAnswer.begin(), bytesAnswer.begin() + longHeader + 18 + 1200);
    Bytes bytesHeaderOnly(bytesAnswer.begin(), bytesAnswer.begin() + longHeader + 10);
    const std::string stringBad =
        "HTTP/1.1 400 Bad Request\r\nContent-Type: text/xml; charset=utf-8\r\nConnection: close"
        "\r\n\r\n<HTML>400 Bad Request</HTML>\r\n";
    Bytes bytesShortEnvelope = Test_Bytes("HTTP/1.1 200 OK\r\nContent-Length: 17\r\n\r\n0123456789abcdefg");
    struct Case {
        const char *pcharName;
        std::vector<Bytes> vectorPieces;
        int intStart;
        long longOutcome;
        long longStatus;
        long longPayloadExpected;  // bytes the payload yields before it ends or breaks
        bool boolComplete;
    } structCases[] = {
        {"whole", {bytesAnswer}, 0, D_LONG_CLIENT_EXIT_OK, 200, 5000, true},
        {"byte by byte through the header", Test_Split(bytesAnswer, 7), 0, D_LONG_CLIENT_EXIT_OK, 200, 5000, true},
        {"cut in the payload", {bytesCut}, 0, D_LONG_CLIENT_EXIT_OK, 200, 1200, false},
        {"closed without a byte", {}, -1, D_LONG_CLIENT_EXIT_REFUSED, 0, 0, false},
        {"closed inside the envelope's opening", {bytesHeaderOnly}, -1, D_LONG_CLIENT_EXIT_BAD_ANSWER, 200, 0, false},
        {"another answer", {Test_Bytes(stringBad)}, -1, D_LONG_CLIENT_EXIT_BAD_ANSWER, 400, 0, false},
        {"an envelope shorter than its opening",
         {bytesShortEnvelope},
         -1,
         D_LONG_CLIENT_EXIT_BAD_ANSWER,
         200,
         0,
         false},
        {"another password",
         {Test_Answer(bytesPayload, "elsewhere")},
         -1,
         D_LONG_CLIENT_EXIT_WRONG_PASSWORD,
         200,
         0,
         false},
    };
    for (const Case &structCase : structCases) {
        SCOPED_TRACE(structCase.pcharName);
        Test_Server structServer;
        Test_StartServer(&structServer, structCase.vectorPieces);
        char *pcharRequest = nullptr;
        long longRequestLength = 0;
        ASSERT_EQ(0, Client_BuildRequest("127.0.0.1", structServer.longPort, "get\t/srv/f\t0\r\n", "tarimuso",
                                         &pcharRequest, &longRequestLength));
        Client_Exchange structExchange;
        long longOutcome = -99;
        int intStart = Client_StartExchange("127.0.0.1", structServer.longPort, "tarimuso", pcharRequest,
                                            longRequestLength, &structExchange, &longOutcome);
        EXPECT_EQ(structCase.intStart, intStart);
        EXPECT_EQ(structCase.longOutcome, longOutcome);
        EXPECT_EQ(structCase.longStatus, structExchange.longStatus);
        Bytes bytesReceived;
        long longLast = 0;
        if (intStart == 0) {
            unsigned char ucharBuffer[999];
            while ((longLast = Client_ReceivePayload(&structExchange, "tarimuso", ucharBuffer, sizeof(ucharBuffer))) >
                   0) {
                bytesReceived.insert(bytesReceived.end(), ucharBuffer, ucharBuffer + longLast);
            }
            Client_EndExchange(&structExchange);
        }
        Test_StopServer(&structServer);
        EXPECT_EQ(std::string(pcharRequest, static_cast<size_t>(longRequestLength)), structServer.stringRequest);
        free(pcharRequest);
        EXPECT_EQ(static_cast<size_t>(structCase.longPayloadExpected), bytesReceived.size());
        EXPECT_TRUE(std::equal(bytesReceived.begin(), bytesReceived.end(), bytesPayload.begin()));
        if (intStart == 0) {
            EXPECT_EQ(structCase.boolComplete ? 0 : -1, longLast);
        }
    }
}

TEST(ClientTest, ExchangeWithNothingListeningIsUnreachable) {
    int intSocket = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(intSocket, 0);
    struct sockaddr_in structAddress;
    memset(&structAddress, 0, sizeof(structAddress));
    structAddress.sin_family = AF_INET;
    structAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(intSocket, reinterpret_cast<struct sockaddr *>(&structAddress), sizeof(structAddress)));
    socklen_t socklenAddress = sizeof(structAddress);
    ASSERT_EQ(0, getsockname(intSocket, reinterpret_cast<struct sockaddr *>(&structAddress), &socklenAddress));
    long longPort = ntohs(structAddress.sin_port);
    // Bound but not listening: a connection is refused.
    Client_Exchange structExchange;
    long longOutcome = -99;
    EXPECT_EQ(-1, Client_StartExchange("127.0.0.1", longPort, "tarimuso", "x", 1, &structExchange, &longOutcome));
    EXPECT_EQ(D_LONG_CLIENT_EXIT_UNREACHABLE, longOutcome);
    EXPECT_NE(0u, structExchange.ulongSystemError);
    close(intSocket);
}

}  // namespace
