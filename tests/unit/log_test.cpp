// The log writers: entry formats, refused values, the day's file, and whole lines under contention.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/log.h"
#include "platform/platform.h"
#include "test_files.h"

namespace {

struct tm structFixedTime;
long longFixedMilliseconds = 0;

int FixedClock(struct tm *pstructTime, long *plongMilliseconds) {
    *pstructTime = structFixedTime;
    *plongMilliseconds = longFixedMilliseconds;
    return 0;
}

void SetClock(int intYear, int intMonth, int intDay, int intHour, int intMinute, int intSecond, long longMs) {
    structFixedTime = {};
    structFixedTime.tm_year = intYear - 1900;
    structFixedTime.tm_mon = intMonth - 1;
    structFixedTime.tm_mday = intDay;
    structFixedTime.tm_hour = intHour;
    structFixedTime.tm_min = intMinute;
    structFixedTime.tm_sec = intSecond;
    longFixedMilliseconds = longMs;
}


class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetClock(2011, 9, 20, 16, 34, 40, 5);
        Log_SetClock(FixedClock);
        Log_SetAccessLogEnabled(1);
        longForceTraceFlag = 0;
        for (const char *pcharDate : {"20110920", "20110921"}) {
            std::remove(Test_LogPath("log", pcharDate).c_str());
            std::remove(Test_LogPath("access", pcharDate).c_str());
        }
    }
    void TearDown() override {
        Log_SetClock(nullptr);
        longForceTraceFlag = 0;
    }
    std::string Trace() { return Test_ReadFile(Test_LogPath("log", "20110920")); }
    std::string Access() { return Test_ReadFile(Test_LogPath("access", "20110920")); }
};

TEST_F(LogTest, TraceEntriesHaveTheirExactFormat) {
    struct Case {
        long longLevel;
        const char *pcharFunction;
        const char *pcharMessage;
        long longLine;
        long longFlag;
        std::string stringExpected;
    };
    const std::string stringName32(32, 'f');
    const std::string stringName40(40, 'g');
    const std::vector<Case> vectorCases = {
        {1, "Config_LoadSetting", "処理開始", 7, 1,
         "2011/09/20 16:34:40.005: [WARNING]    Config_LoadSetting              (line=0007)\t\t- 処理開始 \r\n"},
        {2, "F", "w", 12345, 0, "2011/09/20 16:34:40.005: [WARNING]    F" + std::string(31, ' ') + "(line=12345)\t\t- w \r\n"},
        {3, "F", "e", 1, 0, "2011/09/20 16:34:40.005: [ERROR]      F" + std::string(31, ' ') + "(line=0001)\t\t- e \r\n"},
        {4, "F", "i", 1, 0, "2011/09/20 16:34:40.005: [INFOMATION] F" + std::string(31, ' ') + "(line=0001)\t\t- i \r\n"},
        {5, "F", "q", 1, 0, "2011/09/20 16:34:40.005: [QUESTION]   F" + std::string(31, ' ') + "(line=0001)\t\t- q \r\n"},
        {2, stringName32.c_str(), "", 1, 0, "2011/09/20 16:34:40.005: [WARNING]    " + stringName32 + "(line=0001)\t\t-  \r\n"},
        {2, stringName40.c_str(), "x", 1, 0, "2011/09/20 16:34:40.005: [WARNING]    " + stringName40 + "(line=0001)\t\t- x \r\n"},
        {2, "F", "A\r\nB", 1, 0, "2011/09/20 16:34:40.005: [WARNING]    F" + std::string(31, ' ') + "(line=0001)\t\t- A  B \r\n"},
        {2, "F", "100%s%d", 1, 0, "2011/09/20 16:34:40.005: [WARNING]    F" + std::string(31, ' ') + "(line=0001)\t\t- 100%s%d \r\n"},
    };
    for (const Case &structCase : vectorCases) {
        SetUp();
        longForceTraceFlag = structCase.longFlag;
        EXPECT_EQ(0, Log_OutputTraceLog(structCase.pcharFunction, structCase.pcharMessage, structCase.longLevel,
                                        structCase.longLine));
        EXPECT_EQ(structCase.stringExpected, Trace()) << "level " << structCase.longLevel;
    }
}

TEST_F(LogTest, AccessEntriesHaveTheirExactFormat) {
    const std::vector<std::pair<long, std::string>> vectorCases = {
        {0, "[SERVER START]  "},   {1, "[SERVER STOP]   "},   {10, "[INVALID REQ]   "},
        {11, "[DOWNLOAD APP]  "}, {12, "[FILE LIST]     "}, {13, "[DOWNLOAD FILE] "},
    };
    std::string stringExpected;
    for (const auto &pairCase : vectorCases) {
        EXPECT_EQ(0, Log_OutputAccessLog("GET / HTTP/1.1\r\n", pairCase.first));
        stringExpected += "2011/09/20 16:34:40.005: " + pairCase.second + " GET / HTTP/1.1   \r\n";
    }
    EXPECT_EQ(stringExpected, Access());
}

TEST_F(LogTest, RefusedAndDroppedEntriesTouchNoFile) {
    for (long longLevel : {0L, 6L, -1L}) EXPECT_EQ(-1, Log_OutputTraceLog("F", "m", longLevel, 1));
    EXPECT_EQ(0, Log_OutputTraceLog("F", "dropped while the flag is off", D_LONG_LOG_LEVEL_TRACE, 1));
    for (long longKind : {2L, 9L, 14L, -1L}) EXPECT_EQ(-1, Log_OutputAccessLog("x", longKind));
    Log_SetAccessLogEnabled(0);
    EXPECT_EQ(0, Log_OutputAccessLog("switched off", D_LONG_LOG_ACCESSKIND_INVALID_REQ));
    EXPECT_EQ(-1, Log_OutputAccessLog("still refused", 9));
    EXPECT_EQ("<missing>", Trace());
    EXPECT_EQ("<missing>", Access());
}

TEST_F(LogTest, EachEntryLandsInTheFileOfItsOwnDay) {
    SetClock(2011, 9, 20, 23, 59, 59, 999);
    Log_OutputAccessLog("before", D_LONG_LOG_ACCESSKIND_INVALID_REQ);
    SetClock(2011, 9, 21, 0, 0, 0, 0);
    Log_OutputAccessLog("after", D_LONG_LOG_ACCESSKIND_INVALID_REQ);
    EXPECT_EQ("2011/09/20 23:59:59.999: [INVALID REQ]    before \r\n", Access());
    EXPECT_EQ("2011/09/21 00:00:00.000: [INVALID REQ]    after \r\n", Test_ReadFile(Test_LogPath("access", "20110921")));
}

TEST_F(LogTest, AnOverlongEntryIsCutToTheBufferWithoutSplittingACharacter) {
    // 1023 bytes of text would not fit; the cut must not leave half of "表" (95 5C) behind.
    std::string stringText = "GET /" + std::string(951, 'a');
    while (stringText.size() < 1100) stringText += "表";
    EXPECT_EQ(0, Log_OutputAccessLog(stringText.c_str(), D_LONG_LOG_ACCESSKIND_INVALID_REQ));
    std::string stringEntry = Access();
    ASSERT_GE(stringEntry.size(), 3u);
    EXPECT_LE(stringEntry.size(), 1023u + 2u);
    EXPECT_GE(stringEntry.size(), 1022u + 2u);
    EXPECT_EQ("\r\n", stringEntry.substr(stringEntry.size() - 2));
    std::string stringBody = stringEntry.substr(0, stringEntry.size() - 2);
    size_t sizeMultibyte = stringBody.find("表");
    ASSERT_NE(std::string::npos, sizeMultibyte);
    EXPECT_EQ(0u, (stringBody.size() - sizeMultibyte) % 2) << "a double-byte character was cut in half";
}

TEST_F(LogTest, TwoThreadsNeverInterleaveTheirLines) {
    longForceTraceFlag = 1;
    const int intEntries = 300;
    const std::string stringA(200, 'a');
    const std::string stringB(200, 'b');
    std::thread threadA([&] {
        for (int intIndex = 0; intIndex < intEntries; ++intIndex) Log_OutputTraceLog("A", stringA.c_str(), 1, 1);
    });
    std::thread threadB([&] {
        for (int intIndex = 0; intIndex < intEntries; ++intIndex) Log_OutputTraceLog("B", stringB.c_str(), 1, 1);
    });
    threadA.join();
    threadB.join();
    std::istringstream streamLines(Trace());
    std::string stringLine;
    int intLines = 0;
    while (std::getline(streamLines, stringLine)) {
        ++intLines;
        ASSERT_EQ('\r', stringLine.back());
        std::string stringMessage = stringLine.substr(stringLine.find("\t\t- ") + 4);
        EXPECT_TRUE(stringMessage == stringA + " \r" || stringMessage == stringB + " \r") << stringLine;
    }
    EXPECT_EQ(2 * intEntries, intLines);
}

}  // namespace
