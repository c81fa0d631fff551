// File data reading: from an offset to the end, every failure with its own trace text, and files
// beyond the 32-bit lengths of the wire.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "folder_fixture.h"
#include "log/log.h"
#include "server/server.h"

namespace {

struct Piece {
    int intResult;
    std::string stringData;
};

// Reads with the trace on; the output places must stay as they were on failure.
Piece Load(const std::string &stringPath, long longOffset, std::string *pstringTrace) {
    size_t sizeTraceBefore = TodayLogSize("log");
    static unsigned char ucharSentinel = 0;
    unsigned char *pucharData = &ucharSentinel;
    long longLength = -7;
    longForceTraceFlag = 1;
    Piece structPiece = {Server_LoadFileData(stringPath.c_str(), longOffset, &pucharData, &longLength), ""};
    longForceTraceFlag = 0;
    *pstringTrace = TodayLog("log", sizeTraceBefore);
    if (structPiece.intResult == 0) {
        structPiece.stringData.assign(reinterpret_cast<char *>(pucharData), static_cast<size_t>(longLength));
        free(pucharData);
    } else {
        EXPECT_EQ(&ucharSentinel, pucharData);
        EXPECT_EQ(-7, longLength);
    }
    return structPiece;
}

class FileTest : public ::testing::Test {
  protected:
    std::string stringTemp;
    void SetUp() override { stringTemp = CreateTempFolder(); }
    void TearDown() override { RemoveTempFolder(stringTemp); }
};

TEST_F(FileTest, ReadsFromTheOffsetToTheEnd) {
    WriteFile(stringTemp + "/five", "abcde");
    WriteFile(stringTemp + u8"/表計算.csv", "1,2\n");
    struct Case {
        std::string stringPath;
        long longOffset;
        const char *pcharExpected;
    };
    const std::vector<Case> vectorCases = {
        {stringTemp + "/five", 0, "abcde"},
        {stringTemp + "/five", 2, "cde"},
        {stringTemp + "/five", 4, "e"},
        {stringTemp + "/表計算.csv", 0, "1,2\n"},
    };
    for (const Case &structCase : vectorCases) {
        std::string stringTrace;
        Piece structPiece = Load(structCase.stringPath, structCase.longOffset, &stringTrace);
        EXPECT_EQ(0, structPiece.intResult) << structCase.longOffset;
        EXPECT_EQ(structCase.pcharExpected, structPiece.stringData) << structCase.longOffset;
    }
}

TEST_F(FileTest, EveryFailureIsReportedInOrder) {
    WriteFile(stringTemp + "/five", "abcde");
    WriteFile(stringTemp + "/empty", "");
    MakeFolder(stringTemp + "/folder");
    // Just past what the wire can carry from offset 0, and a tail that it can.
    WriteSparseFile(stringTemp + "/big", 0x80000000LL + 16, "0123456789abcdefg");
    struct Case {
        const char *pcharName;
        std::string stringPath;
        long longOffset;
        const char *pcharTrace;
    };
    const std::vector<Case> vectorCases = {
        {"missing file", stringTemp + "/missing", 0, "_stat 異常終了"},
        {"a folder", stringTemp + "/folder", 0, "fopen_s 異常終了"},
        {"offset at the end", stringTemp + "/five", 5, "fread 異常終了 (return=0, FormatMessage="},
        {"empty file", stringTemp + "/empty", 0, "fread 異常終了 (return=0, FormatMessage="},
        {"offset past the end", stringTemp + "/five", 6, "calloc 異常終了"},
        {"negative offset", stringTemp + "/five", -1, "異常終了"},
        {"most negative offset", stringTemp + "/five", -2147483647L - 1, "異常終了"},
        {"remainder beyond the wire", stringTemp + "/big", 0, "送信可能なサイズを超えています"},
    };
    for (const Case &structCase : vectorCases) {
        std::string stringTrace;
        Piece structPiece = Load(structCase.stringPath, structCase.longOffset, &stringTrace);
        EXPECT_EQ(-1, structPiece.intResult) << structCase.pcharName;
        EXPECT_NE(std::string::npos, stringTrace.find(structCase.pcharTrace)) << structCase.pcharName;
    }
    // A remainder that fits, more than 2 GiB into the file.
    std::string stringTrace;
    Piece structTail = Load(stringTemp + "/big", 0x7FFFFFFFL, &stringTrace);
    EXPECT_EQ(0, structTail.intResult);
    EXPECT_EQ("0123456789abcdefg", structTail.stringData);
}

}  // namespace
