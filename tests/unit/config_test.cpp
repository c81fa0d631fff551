// The settings: the default file byte for byte, every rule of the load table, the save and its refusals,
// the message boxes (printed on standard error by the POSIX platform), and the copies that the server
// thread takes while the settings are replaced.
#include "config/config.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "log/log.h"
#include "platform/platform.h"
#include "test_files.h"

namespace {

// The default file as the settings' documentation gives it, typed out again here: 23 lines, CR LF.
const char D_CHAR_TEST_DEFAULT_FILE[] =
    "; ----------\r\n"
    "; Config.ini\r\n"
    "; ----------\r\n"
    "\r\n"
    "; ファイル転送に関する設定\r\n"
    "[DOWNLOAD_SETTING]\r\n"
    "; 外部公開用フォルダ\r\n"
    "SHARED_FOLDERS=\r\n"
    "; 通信データ暗号化パスワード\r\n"
    "CRYPT_PASSWORD=tarimuso\r\n"
    "\r\n"
    "\r\n"
    "; サーバ機能に関する設定\r\n"
    "[SERVER_SETTING]\r\n"
    "; 外部公開用IPアドレス\r\n"
    "IPADDRESS_FOR_ACCEPT=127.0.0.1\r\n"
    "; 外部公開用ポート番号\r\n"
    "PORT_NUMBER_FOR_ACCEPT=8080\r\n"
    "; アプリ起動時に自動起動(0:OFF、1:ON)\r\n"
    "SERVER_AUTO_START=1\r\n"
    "; アクセスログを出力する(0:OFF、1:ON)\r\n"
    "ENABLE_ACCESSLOG=1\r\n"
    "\r\n";

int Test_Clock(struct tm *pstructTime, long *plongMilliseconds) {
    memset(pstructTime, 0, sizeof(*pstructTime));
    pstructTime->tm_year = 2024 - 1900;
    pstructTime->tm_mon = 0;
    pstructTime->tm_mday = 2;
    pstructTime->tm_hour = 3;
    *plongMilliseconds = 0;
    return 0;
}


void Test_WriteFile(const std::string &stringPath, const std::string &stringText) {
    FILE *pfileWrite = fopen(stringPath.c_str(), "wb");
    ASSERT_NE(nullptr, pfileWrite);
    fwrite(stringText.data(), 1, stringText.size(), pfileWrite);
    fclose(pfileWrite);
}

// The default file with the line of one key replaced by "KEY=value", or removed (value nullptr).
std::string Test_DefaultFileWith(const char *pcharKey, const char *pcharValue) {
    std::string stringFile = D_CHAR_TEST_DEFAULT_FILE;
    if (pcharKey == nullptr) return stringFile;
    std::string stringPrefix = std::string("\n") + pcharKey + "=";
    size_t sizeLine = stringFile.find(stringPrefix);
    EXPECT_NE(std::string::npos, sizeLine) << pcharKey;
    size_t sizeEnd = stringFile.find("\r\n", sizeLine + 1);
    std::string stringLine = pcharValue != nullptr ? std::string(pcharKey) + "=" + pcharValue : "";
    return stringFile.replace(sizeLine + 1, sizeEnd - sizeLine - 1, stringLine);
}

// The record as one text: "[folder|folder] password a.b.c.d port autostart accesslog".
std::string Test_Record(void) {
    std::string stringRecord = "[";
    for (const Config_SharedFolder *pstructEntry = Config_Setting.pstructSharedFolderList; pstructEntry != nullptr;
         pstructEntry = pstructEntry->pstructNext) {
        if (pstructEntry != Config_Setting.pstructSharedFolderList) stringRecord += "|";
        stringRecord += pstructEntry->pcharFolderPath;
    }
    char charRest[256];
    snprintf(charRest, sizeof(charRest), "] %s %ld.%ld.%ld.%ld %ld %ld %ld", Config_Setting.charCryptPassword,
             Config_Setting.longIpAddress[0], Config_Setting.longIpAddress[1], Config_Setting.longIpAddress[2],
             Config_Setting.longIpAddress[3], Config_Setting.longPortNumber, Config_Setting.longServerAutoStart,
             Config_Setting.longEnableAccessLog);
    return stringRecord + charRest;
}

long Test_ListLength(const Config_SharedFolder *pstructList) {
    long longLength = 0;
    for (; pstructList != nullptr; pstructList = pstructList->pstructNext) ++longLength;
    return longLength;
}

// A list of the given paths, made the record's own.
void Test_SetList(std::initializer_list<std::string> listPaths) {
    Config_SharedFolder *pstructList = nullptr;
    for (const std::string &stringPath : listPaths) ASSERT_EQ(0, Config_AppendSharedFolder(&pstructList, stringPath.c_str()));
    Config_ReplaceSharedFolderList(pstructList);
}

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Notices are printed in the terminal's encoding; make it UTF-8 so that they can be compared.
        setlocale(LC_CTYPE, "C.UTF-8");
        stringFolder = Test_Folder();
        stringConfigPath = stringFolder + "/config.ini";
        stringTracePath = stringFolder + "/20240102.log";
        stringAccessPath = stringFolder + "/20240102.access";
        unlink(stringConfigPath.c_str());
        unlink(stringTracePath.c_str());
        unlink(stringAccessPath.c_str());
        Log_SetClock(Test_Clock);
        longForceTraceFlag = 1;
        Config_Finalize();
        memset(&Config_Setting, 0, sizeof(Config_Setting));
        snprintf(Config_Setting.charConfigFilePath, sizeof(Config_Setting.charConfigFilePath), "%s",
                 stringConfigPath.c_str());
    }
    void TearDown() override {
        Config_Finalize();
        Log_SetAccessLogEnabled(1);
        longForceTraceFlag = 0;
        Log_SetClock(nullptr);
        unlink(stringConfigPath.c_str());
    }
    // A record that differs from the default file in every field, to see what a load changes.
    void SetPreviousRecord(void) {
        Test_SetList({"old"});
        ASSERT_EQ(0, Config_SetCryptPassword("prev"));
        const long longAddress[4] = {1, 2, 3, 4};
        memcpy(Config_Setting.longIpAddress, longAddress, sizeof(longAddress));
        Config_Setting.longPortNumber = 1234;
        Config_Setting.longServerAutoStart = 0;
        Config_Setting.longEnableAccessLog = 0;
    }
    std::string Trace(void) { return Test_ReadFile(stringTracePath); }

    std::string stringFolder;
    std::string stringConfigPath;
    std::string stringTracePath;
    std::string stringAccessPath;
};

TEST_F(ConfigTest, FirstStartWritesTheDefaultFileByteForByteAndLoadsIt) {
    testing::internal::CaptureStderr();
    ASSERT_EQ(0, Config_Initialize());
    std::string stringNotices = testing::internal::GetCapturedStderr();

    EXPECT_EQ(stringConfigPath, Config_Setting.charConfigFilePath);
    EXPECT_EQ(stringFolder + "/SorvaneHelp.chm", Config_Setting.charHelpFilePath);
    std::string stringFile = Test_ReadFile(stringConfigPath);
    EXPECT_EQ(std::string(D_CHAR_TEST_DEFAULT_FILE), stringFile);
    EXPECT_EQ(464u, stringFile.size());
    // "機能" keeps its trail byte 0x5C; "、" is 81 41.
    EXPECT_NE(std::string::npos, stringFile.find("\x8b\x40\x94\x5c"));
    EXPECT_NE(std::string::npos, stringFile.find("(0:OFF\x81\x41"));

    EXPECT_EQ("[] tarimuso 127.0.0.1 8080 1 1", Test_Record());
    EXPECT_EQ(u8"初期設定: 設定ファイルが見つかりません。 デフォルト設定ファイルを作成します。\n", stringNotices);
}

TEST_F(ConfigTest, StartWithAValidFileShowsNothingAndAnInvalidOneShowsTheLoadErrorBox) {
    Test_WriteFile(stringConfigPath, Test_DefaultFileWith("PORT_NUMBER_FOR_ACCEPT", "9090"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, Config_Initialize());
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ(9090, Config_Setting.longPortNumber);

    Test_WriteFile(stringConfigPath, Test_DefaultFileWith("PORT_NUMBER_FOR_ACCEPT", "65536"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, Config_Initialize());
    std::string stringNotices = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, stringNotices.find(u8"エラー: 設定ファイルの読み込みでエラーが発生しました。 アプリケーション再起動後も"))
        << stringNotices;
    EXPECT_NE(std::string::npos, stringNotices.find(u8"(この場合、現在の設定は失われます)\n")) << stringNotices;
}

TEST_F(ConfigTest, DefaultFileThatCannotBeCreatedFails) {
    snprintf(Config_Setting.charConfigFilePath, sizeof(Config_Setting.charConfigFilePath), "%s/missing/config.ini",
             stringFolder.c_str());
    EXPECT_EQ(-1, Config_Create_DefaultIniFile());
    EXPECT_NE(std::string::npos, Trace().find("fopen 異常終了"));
}

// One row: the default file with one key's line replaced (value) or removed (nullptr); the result, a
// text that the trace must hold, and the record afterwards. Before each load the record is
// "[old] prev 1.2.3.4 1234 0 0".
struct Test_LoadCase {
    const char *pcharKey;
    const char *pcharValue;
    int intResult;
    const char *pcharTrace;
    const char *pcharRecord;
};

const Test_LoadCase D_STRUCT_TEST_LOAD_CASES[] = {
    {nullptr, nullptr, 0, nullptr, "[] tarimuso 127.0.0.1 8080 1 1"},
    // SHARED_FOLDERS
    {"SHARED_FOLDERS", nullptr, -1, "設定が見つかりません(SECTION=DOWNLOAD_SETTING, KEY=SHARED_FOLDERS)",
     "[] prev 1.2.3.4 1234 0 0"},
    {"SHARED_FOLDERS", "_DEFAULT_", -1, "設定が見つかりません(SECTION=DOWNLOAD_SETTING, KEY=SHARED_FOLDERS)",
     "[] prev 1.2.3.4 1234 0 0"},
    {"SHARED_FOLDERS", "", 0, "設定値無し(SECTION=DOWNLOAD_SETTING, KEY=SHARED_FOLDERS)",
     "[] tarimuso 127.0.0.1 8080 1 1"},
    {"SHARED_FOLDERS", "C:\\a\t\tD:\\b c\t", 0, nullptr, "[C:\\a|D:\\b c] tarimuso 127.0.0.1 8080 1 1"},
    {"SHARED_FOLDERS", "\"\t\tC:\\a\t\t\tD:\\b c\t\"", 0, nullptr, "[C:\\a|D:\\b c] tarimuso 127.0.0.1 8080 1 1"},
    {"SHARED_FOLDERS", "C:\\ソフト\t/home/u/表", 0, nullptr, "[C:\\ソフト|/home/u/表] tarimuso 127.0.0.1 8080 1 1"},
    {"SHARED_FOLDERS", "\"\t\t\t\"", 0, nullptr, "[] tarimuso 127.0.0.1 8080 1 1"},
    // CRYPT_PASSWORD
    {"CRYPT_PASSWORD", nullptr, -1, "設定が見つかりません(SECTION=DOWNLOAD_SETTING, KEY=CRYPT_PASSWORD)",
     "[] prev 1.2.3.4 1234 0 0"},
    {"CRYPT_PASSWORD", "_DEFAULT_", -1, "設定が見つかりません(SECTION=DOWNLOAD_SETTING, KEY=CRYPT_PASSWORD)",
     "[] prev 1.2.3.4 1234 0 0"},
    {"CRYPT_PASSWORD", "", 0, "設定値無し(SECTION=DOWNLOAD_SETTING, KEY=CRYPT_PASSWORD)", "[] prev 127.0.0.1 8080 1 1"},
    {"CRYPT_PASSWORD", "abcdefghijklmnopqrstuvwxyzABC012", 0, nullptr,
     "[] abcdefghijklmnopqrstuvwxyzABC012 127.0.0.1 8080 1 1"},
    {"CRYPT_PASSWORD", "abcdefghijklmnopqrstuvwxyzABC0123", -1,
     "設定値が不正です(文字列長オーバ, SECTION=DOWNLOAD_SETTING, KEY=CRYPT_PASSWORD)", "[] prev 1.2.3.4 1234 0 0"},
    {"CRYPT_PASSWORD", "ab-cd", -1, "設定値が不正です(文字種不正, SECTION=DOWNLOAD_SETTING, KEY=CRYPT_PASSWORD)",
     "[] prev 1.2.3.4 1234 0 0"},
    {"CRYPT_PASSWORD", "ab cd", -1, "設定値が不正です(文字種不正, SECTION=DOWNLOAD_SETTING, KEY=CRYPT_PASSWORD)",
     "[] prev 1.2.3.4 1234 0 0"},
    {"CRYPT_PASSWORD", "abパス", -1, "設定値が不正です(文字種不正, SECTION=DOWNLOAD_SETTING, KEY=CRYPT_PASSWORD)",
     "[] prev 1.2.3.4 1234 0 0"},
    // IPADDRESS_FOR_ACCEPT: numbers are stored as they convert, before the range test.
    {"IPADDRESS_FOR_ACCEPT", nullptr, -1, "設定が見つかりません(SECTION=SERVER_SETTING, KEY=IPADDRESS_FOR_ACCEPT)",
     "[] tarimuso 1.2.3.4 1234 0 0"},
    {"IPADDRESS_FOR_ACCEPT", "", 0, "設定値無し(SECTION=SERVER_SETTING, KEY=IPADDRESS_FOR_ACCEPT)",
     "[] tarimuso 1.2.3.4 8080 1 1"},
    {"IPADDRESS_FOR_ACCEPT", "192.168.0.254", 0, nullptr, "[] tarimuso 192.168.0.254 8080 1 1"},
    {"IPADDRESS_FOR_ACCEPT", "192.168.0.255", -1, "設定値が不正です(SECTION=SERVER_SETTING, KEY=IPADDRESS_FOR_ACCEPT)",
     "[] tarimuso 192.168.0.255 1234 0 0"},
    {"IPADDRESS_FOR_ACCEPT", "256.0.0.1", -1, "設定値が不正です(SECTION=SERVER_SETTING, KEY=IPADDRESS_FOR_ACCEPT)",
     "[] tarimuso 256.0.0.1 1234 0 0"},
    {"IPADDRESS_FOR_ACCEPT", "-1.0.0.1", -1, "設定値が不正です(SECTION=SERVER_SETTING, KEY=IPADDRESS_FOR_ACCEPT)",
     "[] tarimuso -1.0.0.1 1234 0 0"},
    {"IPADDRESS_FOR_ACCEPT", "10", 0, nullptr, "[] tarimuso 10.2.3.4 8080 1 1"},
    {"IPADDRESS_FOR_ACCEPT", "9.8.x.7", 0, nullptr, "[] tarimuso 9.8.3.4 8080 1 1"},
    {"IPADDRESS_FOR_ACCEPT", "localhost", -1, "設定値が不正です(SECTION=SERVER_SETTING, KEY=IPADDRESS_FOR_ACCEPT)",
     "[] tarimuso 1.2.3.4 1234 0 0"},
    // Beyond 32 bits: fails instead of wrapping round to a small number.
    {"IPADDRESS_FOR_ACCEPT", "4294967297.0.0.1", -1,
     "設定値が不正です(SECTION=SERVER_SETTING, KEY=IPADDRESS_FOR_ACCEPT)", nullptr},
    // PORT_NUMBER_FOR_ACCEPT
    {"PORT_NUMBER_FOR_ACCEPT", nullptr, -1,
     "設定が見つかりません(SECTION=SERVER_SETTING, KEY=PORT_NUMBER_FOR_ACCEPT)", "[] tarimuso 127.0.0.1 1234 0 0"},
    {"PORT_NUMBER_FOR_ACCEPT", "", 0, "設定値無し(SECTION=SERVER_SETTING, KEY=PORT_NUMBER_FOR_ACCEPT)",
     "[] tarimuso 127.0.0.1 1234 1 1"},
    {"PORT_NUMBER_FOR_ACCEPT", "0", 0, nullptr, "[] tarimuso 127.0.0.1 0 1 1"},
    {"PORT_NUMBER_FOR_ACCEPT", "65535", 0, nullptr, "[] tarimuso 127.0.0.1 65535 1 1"},
    {"PORT_NUMBER_FOR_ACCEPT", "8080x", 0, nullptr, "[] tarimuso 127.0.0.1 8080 1 1"},
    {"PORT_NUMBER_FOR_ACCEPT", "65536", -1, "設定値が不正です(SECTION=SERVER_SETTING, KEY=PORT_NUMBER_FOR_ACCEPT)",
     "[] tarimuso 127.0.0.1 65536 0 0"},
    {"PORT_NUMBER_FOR_ACCEPT", "-1", -1, "設定値が不正です(SECTION=SERVER_SETTING, KEY=PORT_NUMBER_FOR_ACCEPT)",
     "[] tarimuso 127.0.0.1 -1 0 0"},
    {"PORT_NUMBER_FOR_ACCEPT", "x80", -1, "設定値が不正です(SECTION=SERVER_SETTING, KEY=PORT_NUMBER_FOR_ACCEPT)",
     "[] tarimuso 127.0.0.1 1234 0 0"},
    {"PORT_NUMBER_FOR_ACCEPT", "4294967296", -1,
     "設定値が不正です(SECTION=SERVER_SETTING, KEY=PORT_NUMBER_FOR_ACCEPT)", nullptr},
    // SERVER_AUTO_START and ENABLE_ACCESSLOG: an empty value fails.
    {"SERVER_AUTO_START", nullptr, -1, "設定が見つかりません(SECTION=SERVER_SETTING, KEY=SERVER_AUTO_START)",
     "[] tarimuso 127.0.0.1 8080 0 0"},
    {"SERVER_AUTO_START", "", -1, "GetPrivateProfileString 異常終了", "[] tarimuso 127.0.0.1 8080 0 0"},
    {"SERVER_AUTO_START", "0", 0, nullptr, "[] tarimuso 127.0.0.1 8080 0 1"},
    {"SERVER_AUTO_START", "2", -1, "設定値が不正です(SECTION=SERVER_SETTING, KEY=SERVER_AUTO_START)",
     "[] tarimuso 127.0.0.1 8080 2 0"},
    {"SERVER_AUTO_START", "on", -1, "設定値が不正です(SECTION=SERVER_SETTING, KEY=SERVER_AUTO_START)",
     "[] tarimuso 127.0.0.1 8080 0 0"},
    {"ENABLE_ACCESSLOG", nullptr, -1, "設定が見つかりません(SECTION=SERVER_SETTING, KEY=ENABLE_ACCESSLOG)",
     "[] tarimuso 127.0.0.1 8080 1 0"},
    {"ENABLE_ACCESSLOG", "", -1, "GetPrivateProfileString 異常終了", "[] tarimuso 127.0.0.1 8080 1 0"},
    {"ENABLE_ACCESSLOG", "-1", -1, "設定値が不正です(SECTION=SERVER_SETTING, KEY=ENABLE_ACCESSLOG)",
     "[] tarimuso 127.0.0.1 8080 1 -1"},
    {"ENABLE_ACCESSLOG", "0", 0, nullptr, "[] tarimuso 127.0.0.1 8080 1 0"},
};

TEST_F(ConfigTest, LoadFollowsTheRulesOfEveryKey) {
    for (const Test_LoadCase &structCase : D_STRUCT_TEST_LOAD_CASES) {
        std::string stringCase = std::string(structCase.pcharKey != nullptr ? structCase.pcharKey : "(default file)") +
                                 "=" + (structCase.pcharValue != nullptr ? structCase.pcharValue : "(missing)");
        SetPreviousRecord();
        unlink(stringTracePath.c_str());
        Test_WriteFile(stringConfigPath, Test_DefaultFileWith(structCase.pcharKey, structCase.pcharValue));
        EXPECT_EQ(structCase.intResult, Config_LoadSetting()) << stringCase;
        if (structCase.pcharRecord != nullptr) {
            EXPECT_EQ(structCase.pcharRecord, Test_Record()) << stringCase;
        }
        std::string stringTrace = Trace();
        if (structCase.pcharTrace != nullptr) {
            EXPECT_NE(std::string::npos, stringTrace.find(structCase.pcharTrace)) << stringCase;
        }
        // The password is never written in clear.
        EXPECT_EQ(std::string::npos, stringTrace.find("tarimuso")) << stringCase;
    }
}

// SHARED_FOLDERS at the edges of its buffers: the value's 2048 bytes and an item's 260.
TEST_F(ConfigTest, LoadRefusesFolderValuesBeyondTheirBuffers) {
    const std::string stringItem255(255, 'f');
    const std::string stringJoined2046 = [&] {
        std::string stringJoined;
        for (int intIndex = 0; intIndex < 8; ++intIndex) stringJoined += (intIndex > 0 ? "\t" : "") + stringItem255;
        return stringJoined.substr(0, 2046);
    }();
    ASSERT_EQ(2046u, stringJoined2046.size());
    const struct {
        std::string stringValue;
        int intResult;
        long longEntries;
        const char *pcharTrace;
    } structCases[] = {
        {stringJoined2046, 0, 8, nullptr},
        {stringJoined2046 + "f", -1, 0, "バッファ不足で読み込めません(SECTION=DOWNLOAD_SETTING, KEY=SHARED_FOLDERS)"},
        {std::string(3000, 'f'), -1, 0, "バッファ不足で読み込めません(SECTION=DOWNLOAD_SETTING, KEY=SHARED_FOLDERS)"},
        {std::string(259, 'f') + "\t" + std::string(259, 'g'), 0, 2, nullptr},
        {"a\t" + std::string(260, 'f') + "\tb", -1, 0,
         "設定値が不正です(フォルダパス長オーバ, SECTION=DOWNLOAD_SETTING, KEY=SHARED_FOLDERS)"},
    };
    for (const auto &structCase : structCases) {
        SetPreviousRecord();
        unlink(stringTracePath.c_str());
        Test_WriteFile(stringConfigPath, Test_DefaultFileWith("SHARED_FOLDERS", structCase.stringValue.c_str()));
        EXPECT_EQ(structCase.intResult, Config_LoadSetting()) << structCase.stringValue.size();
        EXPECT_EQ(structCase.longEntries, Test_ListLength(Config_Setting.pstructSharedFolderList));
        if (structCase.pcharTrace != nullptr) {
            EXPECT_NE(std::string::npos, Trace().find(structCase.pcharTrace));
        }
    }
    // Items are whole and in file order.
    Test_WriteFile(stringConfigPath, Test_DefaultFileWith("SHARED_FOLDERS", stringJoined2046.c_str()));
    ASSERT_EQ(0, Config_LoadSetting());
    EXPECT_EQ(stringItem255, Config_Setting.pstructSharedFolderList->pcharFolderPath);
}

TEST_F(ConfigTest, KeysInTheWrongSectionOrWithoutTheFileAreMissing) {
    std::string stringFile = D_CHAR_TEST_DEFAULT_FILE;
    stringFile.replace(stringFile.find("[SERVER_SETTING]"), 16, "[SERVER_SETTINGS]");
    Test_WriteFile(stringConfigPath, stringFile);
    EXPECT_EQ(-1, Config_LoadSetting());
    EXPECT_NE(std::string::npos,
              Trace().find("設定が見つかりません(SECTION=SERVER_SETTING, KEY=IPADDRESS_FOR_ACCEPT)"));
    unlink(stringConfigPath.c_str());
    EXPECT_EQ(-1, Config_LoadSetting());
}

TEST_F(ConfigTest, LoadSwitchesTheAccessLog) {
    Test_WriteFile(stringConfigPath, Test_DefaultFileWith("ENABLE_ACCESSLOG", "0"));
    ASSERT_EQ(0, Config_LoadSetting());
    Log_OutputAccessLog("GET /download.html HTTP/1.1", D_LONG_LOG_ACCESSKIND_DOWNLOAD_APP);
    EXPECT_EQ("<missing>", Test_ReadFile(stringAccessPath));

    Test_WriteFile(stringConfigPath, D_CHAR_TEST_DEFAULT_FILE);
    ASSERT_EQ(0, Config_LoadSetting());
    Log_OutputAccessLog("GET /download.html HTTP/1.1", D_LONG_LOG_ACCESSKIND_DOWNLOAD_APP);
    EXPECT_NE(std::string::npos, Test_ReadFile(stringAccessPath).find("GET /download.html"));
}

TEST_F(ConfigTest, SaveChangesOnlyTheValuesAndLoadGivesTheRecordBack) {
    Test_WriteFile(stringConfigPath, D_CHAR_TEST_DEFAULT_FILE);
    Test_SetList({"C:\\ソフト", "D:\\share dir", "/home/u/表"});
    ASSERT_EQ(0, Config_SetCryptPassword("Abc123"));
    const long longAddress[4] = {192, 168, 0, 254};
    memcpy(Config_Setting.longIpAddress, longAddress, sizeof(longAddress));
    Config_Setting.longPortNumber = 0;
    Config_Setting.longServerAutoStart = 0;
    Config_Setting.longEnableAccessLog = 1;
    ASSERT_EQ(0, Config_SaveSetting());

    std::string stringExpected = D_CHAR_TEST_DEFAULT_FILE;
    auto Replace = [&](const char *pcharOld, const char *pcharNew) {
        stringExpected.replace(stringExpected.find(pcharOld), strlen(pcharOld), pcharNew);
    };
    Replace("SHARED_FOLDERS=\r\n", "SHARED_FOLDERS=C:\\ソフト\tD:\\share dir\t/home/u/表\r\n");
    Replace("CRYPT_PASSWORD=tarimuso", "CRYPT_PASSWORD=Abc123");
    Replace("IPADDRESS_FOR_ACCEPT=127.0.0.1", "IPADDRESS_FOR_ACCEPT=192.168.0.254");
    Replace("PORT_NUMBER_FOR_ACCEPT=8080", "PORT_NUMBER_FOR_ACCEPT=0");
    Replace("SERVER_AUTO_START=1", "SERVER_AUTO_START=0");
    EXPECT_EQ(stringExpected, Test_ReadFile(stringConfigPath));

    const std::string stringSaved = Test_Record();
    SetPreviousRecord();
    ASSERT_EQ(0, Config_LoadSetting());
    EXPECT_EQ(stringSaved, Test_Record());
    EXPECT_EQ("[C:\\ソフト|D:\\share dir|/home/u/表] Abc123 192.168.0.254 0 0 1", stringSaved);

    // An empty list and the largest joined list that the loader takes come back as they were.
    Config_ReplaceSharedFolderList(nullptr);
    ASSERT_EQ(0, Config_SaveSetting());
    ASSERT_EQ(0, Config_LoadSetting());
    EXPECT_EQ(nullptr, Config_Setting.pstructSharedFolderList);
    Test_SetList({std::string(259, 'a'), std::string(259, 'b'), std::string(259, 'c'), std::string(259, 'd'),
                  std::string(259, 'e'), std::string(259, 'f'), std::string(259, 'g'), std::string(226, 'h')});
    const std::string stringLong = Test_Record();
    ASSERT_EQ(0, Config_SaveSetting());
    ASSERT_EQ(0, Config_LoadSetting());
    EXPECT_EQ(stringLong, Test_Record());
}

TEST_F(ConfigTest, SaveCreatesAMissingFile) {
    Config_ReplaceSharedFolderList(nullptr);
    ASSERT_EQ(0, Config_SetCryptPassword("pw"));
    const long longAddress[4] = {127, 0, 0, 1};
    memcpy(Config_Setting.longIpAddress, longAddress, sizeof(longAddress));
    Config_Setting.longPortNumber = 8080;
    Config_Setting.longServerAutoStart = 1;
    Config_Setting.longEnableAccessLog = 1;
    ASSERT_EQ(0, Config_SaveSetting());
    EXPECT_EQ(
        "[DOWNLOAD_SETTING]\r\nSHARED_FOLDERS=\r\nCRYPT_PASSWORD=pw\r\n[SERVER_SETTING]\r\n"
        "IPADDRESS_FOR_ACCEPT=127.0.0.1\r\nPORT_NUMBER_FOR_ACCEPT=8080\r\nSERVER_AUTO_START=1\r\nENABLE_ACCESSLOG=1\r\n",
        Test_ReadFile(stringConfigPath));
}

// The save refuses what the loader would refuse (or could not give back): an error box, the file untouched.
TEST_F(ConfigTest, SaveRefusesValuesThatTheLoaderWouldRefuse) {
    const struct {
        const char *pcharName;
        void (*pfnChange)(void);
    } structCases[] = {
        {"joined list of 2047", [] { Test_SetList({std::string(1023, 'a'), std::string(1023, 'b')}); }},
        {"item of 260", [] { Test_SetList({"a", std::string(260, 'b')}); }},
        {"item with a TAB", [] { Test_SetList({"a\tb"}); }},
        {"item with a line break", [] { Test_SetList({"a\r\nCRYPT_PASSWORD=x"}); }},
        {"empty item", [] { Test_SetList({"a", ""}); }},
        {"last octet 255", [] { Config_Setting.longIpAddress[3] = 255; }},
        {"octet 256", [] { Config_Setting.longIpAddress[0] = 256; }},
        {"negative octet", [] { Config_Setting.longIpAddress[1] = -1; }},
        {"port 65536", [] { Config_Setting.longPortNumber = 65536; }},
        {"port -1", [] { Config_Setting.longPortNumber = -1; }},
        {"auto start 2", [] { Config_Setting.longServerAutoStart = 2; }},
        {"access log -1", [] { Config_Setting.longEnableAccessLog = -1; }},
        {"password with a hyphen", [] { snprintf(Config_Setting.charCryptPassword, 33, "%s", "ab-c"); }},
    };
    for (const auto &structCase : structCases) {
        Test_WriteFile(stringConfigPath, D_CHAR_TEST_DEFAULT_FILE);
        ASSERT_EQ(0, Config_LoadSetting());
        structCase.pfnChange();
        testing::internal::CaptureStderr();
        EXPECT_EQ(-1, Config_SaveSetting()) << structCase.pcharName;
        std::string stringNotices = testing::internal::GetCapturedStderr();
        EXPECT_EQ(0u, stringNotices.find(u8"設定保存エラー: 保存できない設定値があるため")) << structCase.pcharName;
        EXPECT_EQ(D_CHAR_TEST_DEFAULT_FILE, Test_ReadFile(stringConfigPath)) << structCase.pcharName;
    }
    // Nor is a missing file created.
    unlink(stringConfigPath.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, Config_SaveSetting());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ("<missing>", Test_ReadFile(stringConfigPath));
}

TEST_F(ConfigTest, SaveToAFileThatCannotBeOpenedShowsTheErrorBox) {
    Test_WriteFile(stringConfigPath, D_CHAR_TEST_DEFAULT_FILE);
    ASSERT_EQ(0, Config_LoadSetting());
    snprintf(Config_Setting.charConfigFilePath, sizeof(Config_Setting.charConfigFilePath), "%s/missing/config.ini",
             stringFolder.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, Config_SaveSetting());
    EXPECT_EQ(u8"設定保存エラー: 設定ファイルに書き込めませんでした。 設定ファイルの場所と書き込み権限を確認してください。\n",
              testing::internal::GetCapturedStderr());
    EXPECT_NE(std::string::npos, Trace().find("外部処理が異常終了しました( fopen )"));
}

// Keys that cannot be written (here: files may not grow beyond 300 bytes, as on a full disk) are
// reported, and the file keeps its old content whole.
TEST_F(ConfigTest, SaveWhoseWritesFailReportsItAndKeepsTheFile) {
    Test_WriteFile(stringConfigPath, D_CHAR_TEST_DEFAULT_FILE);
    ASSERT_EQ(0, Config_LoadSetting());
    ASSERT_EQ(0, Config_SetCryptPassword("changed"));
    longForceTraceFlag = 0;
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit structOld;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &structOld));
    struct rlimit structSmall = structOld;
    structSmall.rlim_cur = 300;
    testing::internal::CaptureStderr();
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &structSmall));
    int intResult = Config_SaveSetting();
    setrlimit(RLIMIT_FSIZE, &structOld);
    std::string stringNotices = testing::internal::GetCapturedStderr();
    EXPECT_EQ(-1, intResult);
    EXPECT_EQ(0u, stringNotices.find(u8"設定保存エラー: 設定ファイルに書き込めませんでした。")) << stringNotices;
    EXPECT_EQ(D_CHAR_TEST_DEFAULT_FILE, Test_ReadFile(stringConfigPath));
    EXPECT_EQ("<missing>", Test_ReadFile(stringConfigPath + ".tmp"));
}

TEST_F(ConfigTest, DeleteSettingFilesDeletesOnlyConfigIniAndTellsTheUser) {
    Test_WriteFile(stringConfigPath, D_CHAR_TEST_DEFAULT_FILE);
    memset(&Config_Setting, 0, sizeof(Config_Setting));
    for (int intRound = 0; intRound < 2; ++intRound) {  // the second time there is nothing to delete
        testing::internal::CaptureStderr();
        EXPECT_EQ(0, Config_DeleteSettingFiles());
        EXPECT_EQ(u8"アンインストール: 設定ファイルを削除しました。\n", testing::internal::GetCapturedStderr());
        EXPECT_EQ("<missing>", Test_ReadFile(stringConfigPath));
    }
    EXPECT_NE("<missing>", Test_ReadFile(stringTracePath));
}

TEST_F(ConfigTest, CopiesAreTheCallersOwn) {
    Test_SetList({"a", "b"});
    ASSERT_EQ(0, Config_SetCryptPassword("pw1"));
    Config_SharedFolder *pstructCopy = nullptr;
    ASSERT_EQ(0, Config_CopySharedFolderList(&pstructCopy));
    char charPassword[33];
    ASSERT_EQ(0, Config_CopyCryptPassword(charPassword, sizeof(charPassword)));
    Config_ReplaceSharedFolderList(nullptr);
    ASSERT_EQ(0, Config_SetCryptPassword("pw2"));
    ASSERT_EQ(2, Test_ListLength(pstructCopy));
    EXPECT_STREQ("a", pstructCopy->pcharFolderPath);
    EXPECT_STREQ("b", pstructCopy->pstructNext->pcharFolderPath);
    EXPECT_STREQ("pw1", charPassword);
    Config_ReleaseSharedFolderList(&pstructCopy);
    EXPECT_EQ(nullptr, pstructCopy);

    char charSmall[3];
    EXPECT_EQ(-1, Config_CopyCryptPassword(charSmall, sizeof(charSmall)));
    EXPECT_STREQ("", charSmall);
    EXPECT_EQ(-1, Config_SetCryptPassword("abcdefghijklmnopqrstuvwxyzABC0123"));
    ASSERT_EQ(0, Config_CopyCryptPassword(charPassword, sizeof(charPassword)));
    EXPECT_STREQ("pw2", charPassword);
}

// A writer replaces the list and the password (and reloads the file) while a reader copies them: every
// copy must be one whole state. Run under the sanitizer build, a copy of a freed list is caught too.
TEST_F(ConfigTest, ReaderCopiesWhileWriterReplaces) {
    Test_WriteFile(stringConfigPath, Test_DefaultFileWith("SHARED_FOLDERS", "f1\tf2\tf3"));
    longForceTraceFlag = 0;
    std::atomic<bool> atomicboolDone{false};
    std::thread threadWriter([&] {
        for (int intRound = 0; intRound < 3000; ++intRound) {
            switch (intRound % 3) {
            case 0: Test_SetList({"a1", "a2"}); Config_SetCryptPassword("aaaa"); break;
            case 1: Test_SetList({"b1", "b2", "b3", "b4"}); Config_SetCryptPassword("bbbbbbbb"); break;
            default: Config_LoadSetting(); break;
            }
        }
        atomicboolDone = true;
    });
    long longCopies = 0;
    while (!atomicboolDone || longCopies < 100) {
        Config_SharedFolder *pstructCopy = nullptr;
        ASSERT_EQ(0, Config_CopySharedFolderList(&pstructCopy));
        std::string stringList;
        for (const Config_SharedFolder *pstructEntry = pstructCopy; pstructEntry != nullptr;
             pstructEntry = pstructEntry->pstructNext) {
            stringList += std::string(pstructEntry->pcharFolderPath) + "|";
        }
        Config_ReleaseSharedFolderList(&pstructCopy);
        EXPECT_TRUE(stringList == "" || stringList == "a1|a2|" || stringList == "b1|b2|b3|b4|" ||
                    stringList == "f1|f2|f3|")
            << stringList;
        char charPassword[33];
        ASSERT_EQ(0, Config_CopyCryptPassword(charPassword, sizeof(charPassword)));
        std::string stringPassword = charPassword;
        EXPECT_TRUE(stringPassword == "" || stringPassword == "aaaa" || stringPassword == "bbbbbbbb" ||
                    stringPassword == "tarimuso")
            << stringPassword;
        ++longCopies;
    }
    threadWriter.join();
}

}  // namespace
