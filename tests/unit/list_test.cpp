// The listing of the published tree: exact listing text of the root and of folders over real folders,
// the publication test against hostile paths, paths that do not fit, and shares with CP932 names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "folder_fixture.h"
#include "log/log.h"
#include "platform/platform.h"
#include "server/server.h"

namespace {

// 2024/01/05 09:03:07 in Japan's local time (UTC+9).
constexpr time_t D_TIME_TEST_LAST_WRITE = 1704412987;

struct Listing {
    int intResult;
    std::string stringText;
    bool boolBufferGiven;
};

// Lists the path over the folder list. The output places start with values that must be overwritten.
Listing List(const std::string &stringPath, const std::vector<std::string> &vectorFolders) {
    Config_SharedFolder *pstructFolders = MakeFolderList(vectorFolders);
    static char charSentinel = 'x';
    char *pcharText = &charSentinel;
    long longLength = -1;
    Listing structListing = {Server_CreateFileList(stringPath.c_str(), pstructFolders, &pcharText, &longLength), "",
                             false};
    Config_ReleaseSharedFolderList(&pstructFolders);
    EXPECT_NE(&charSentinel, pcharText);
    structListing.boolBufferGiven = pcharText != nullptr;
    if (pcharText != nullptr) {
        EXPECT_EQ('\0', pcharText[longLength]);
        structListing.stringText.assign(pcharText, static_cast<size_t>(longLength));
        free(pcharText);
    } else {
        EXPECT_EQ(0, longLength);
    }
    return structListing;
}

std::string Line(const std::string &stringName, const std::string &stringType, const std::string &stringSize,
                 const std::string &stringTime, const std::string &stringPhysical, const std::string &stringLogical) {
    return stringName + "\t" + stringType + "\t" + stringSize + "\t" + stringTime + "\t" + stringPhysical + "\t" +
           stringLogical + "\r\n";
}

std::string FolderLine(const std::string &stringName, const std::string &stringPhysical,
                       const std::string &stringLogical) {
    return Line(stringName, "<DIR>", "", "", stringPhysical, stringLogical);
}

// The lines of a listing text; each keeps its CR LF.
std::vector<std::string> Lines(const std::string &stringText) {
    std::vector<std::string> vectorLines;
    size_t sizeAt = 0;
    while (sizeAt < stringText.size()) {
        size_t sizeEnd = stringText.find("\r\n", sizeAt);
        if (sizeEnd == std::string::npos) sizeEnd = stringText.size() - 2;
        vectorLines.push_back(stringText.substr(sizeAt, sizeEnd + 2 - sizeAt));
        sizeAt = sizeEnd + 2;
    }
    return vectorLines;
}

// The ".." line comes first; the others in the file system's order, compared here as a sorted set.
void ExpectFolderListing(const Listing &structListing, const std::string &stringParentLine,
                         std::vector<std::string> vectorOtherLines) {
    ASSERT_EQ(0, structListing.intResult);
    std::vector<std::string> vectorLines = Lines(structListing.stringText);
    ASSERT_FALSE(vectorLines.empty());
    EXPECT_EQ(stringParentLine, vectorLines[0]);
    vectorLines.erase(vectorLines.begin());
    std::sort(vectorLines.begin(), vectorLines.end());
    std::sort(vectorOtherLines.begin(), vectorOtherLines.end());
    EXPECT_EQ(vectorOtherLines, vectorLines);
}

class ListTest : public ::testing::Test {
  protected:
    std::string stringTemp;
    std::string stringDocs;
    void SetUp() override {
        setenv("TZ", "JST-9", 1);
        tzset();
        stringTemp = CreateTempFolder();
        stringDocs = stringTemp + "/Docs";
    }
    void TearDown() override { RemoveTempFolder(stringTemp); }

    // Docs: a subfolder with a file and a folder, files of known size and time, a hidden file, Japanese
    // names, names that only look like parent references, a name with blanks, and a file beyond 4 GiB.
    void MakeDocs() {
        MakeFolder(stringDocs);
        MakeFolder(stringDocs + "/Sub");
        MakeFolder(stringDocs + "/Sub/Z");
        WriteFile(stringDocs + "/Sub/y", "hello", D_TIME_TEST_LAST_WRITE);
        WriteFile(stringDocs + "/x.txt", std::string(1234, 'x'), D_TIME_TEST_LAST_WRITE);
        WriteFile(stringDocs + "/.hidden", "abc", D_TIME_TEST_LAST_WRITE);
        WriteFile(stringDocs + "/empty", "", D_TIME_TEST_LAST_WRITE);
        WriteFile(stringDocs + "/a..b", "12", D_TIME_TEST_LAST_WRITE);
        WriteFile(stringDocs + "/two words.txt", "1", D_TIME_TEST_LAST_WRITE);
        MakeFolder(stringDocs + u8"/ソフト");
        WriteFile(stringDocs + u8"/表計算.csv", "1,2\n", D_TIME_TEST_LAST_WRITE);
        WriteSparseFile(stringDocs + "/big.bin", 5000000000LL, "end");
        struct utimbuf structTimes = {D_TIME_TEST_LAST_WRITE, D_TIME_TEST_LAST_WRITE};
        ASSERT_EQ(0, utime((stringDocs + "/big.bin").c_str(), &structTimes));
    }
};

TEST_F(ListTest, RootListsEveryShareInOrder) {
    // No shared folder: success without a buffer.
    Listing structEmpty = List("/", {});
    EXPECT_EQ(0, structEmpty.intResult);
    EXPECT_FALSE(structEmpty.boolBufferGiven);

    // One share: 19 bytes, counted without the NUL.
    Listing structOne = List("/", {"/A/D"});
    EXPECT_EQ(0, structOne.intResult);
    EXPECT_EQ("D\t<DIR>\t\t\t/A/D\t/D\r\n", structOne.stringText);
    EXPECT_EQ(19u, structOne.stringText.size());

    // Several, in list order: an empty path also lists the root; equal names stay apart by their
    // physical paths; a trailing separator is not part of the name; a CP932 name with a 0x5C byte is
    // whole; the file system's root gets a name of its own and an address that is not the tree's root.
    Listing structMany = List("", {"/A/Docs", "/D/Music", "/B/Docs", "/C/Photos/", "/E/ソフト", "/"});
    EXPECT_EQ(0, structMany.intResult);
    EXPECT_EQ(FolderLine("Docs", "/A/Docs", "/Docs") + FolderLine("Music", "/D/Music", "/Music") +
                  FolderLine("Docs", "/B/Docs", "/Docs") + FolderLine("Photos", "/C/Photos/", "/Photos") +
                  FolderLine("ソフト", "/E/ソフト", "/ソフト") + FolderLine("ルート", "/.", "/ルート"),
              structMany.stringText);
}

TEST_F(ListTest, FoldersAreListedWithTheirPathsSizesAndLocalTimes) {
    MakeDocs();
    const std::string stringTime = "2024/01/05 09:03:07";
    const std::string &D = stringDocs;
    // At the share: ".." leads back to the root.
    ExpectFolderListing(List(D, {"/elsewhere", D}), FolderLine("..", "", "/"),
                        {
                            FolderLine("Sub", D + "/Sub", "/Docs/Sub"),
                            Line("x.txt", "", "1234", stringTime, D + "/x.txt", "/Docs/x.txt"),
                            Line(".hidden", "", "3", stringTime, D + "/.hidden", "/Docs/.hidden"),
                            Line("empty", "", "0", stringTime, D + "/empty", "/Docs/empty"),
                            Line("a..b", "", "2", stringTime, D + "/a..b", "/Docs/a..b"),
                            Line("two words.txt", "", "1", stringTime, D + "/two words.txt", "/Docs/two words.txt"),
                            FolderLine("ソフト", D + "/ソフト", "/Docs/ソフト"),
                            Line("表計算.csv", "", "4", stringTime, D + "/表計算.csv", "/Docs/表計算.csv"),
                            // Beyond the wire's 32-bit lengths: still its true size.
                            Line("big.bin", "", "5000000000", stringTime, D + "/big.bin", "/Docs/big.bin"),
                        });
    // One level down: ".." is the share.
    ExpectFolderListing(List(D + "/Sub", {D}), FolderLine("..", D, "/Docs"),
                        {
                            Line("y", "", "5", stringTime, D + "/Sub/y", "/Docs/Sub/y"),
                            FolderLine("Z", D + "/Sub/Z", "/Docs/Sub/Z"),
                        });
    // Two down, in a folder with a CP932 name, and through a share written with a trailing separator.
    ExpectFolderListing(List(D + "/Sub/Z", {D + "/"}), FolderLine("..", D + "/Sub", "/Docs/Sub"), {});
    ExpectFolderListing(List(D + "/ソフト", {D}), FolderLine("..", D, "/Docs"), {});
    ExpectFolderListing(List(D + "/", {D + "/"}), FolderLine("..", "", "/"),
                        {FolderLine("Sub", D + "/Sub", "/Docs/Sub"),
                         Line("x.txt", "", "1234", stringTime, D + "/x.txt", "/Docs/x.txt"),
                         Line(".hidden", "", "3", stringTime, D + "/.hidden", "/Docs/.hidden"),
                         Line("empty", "", "0", stringTime, D + "/empty", "/Docs/empty"),
                         Line("a..b", "", "2", stringTime, D + "/a..b", "/Docs/a..b"),
                         Line("two words.txt", "", "1", stringTime, D + "/two words.txt", "/Docs/two words.txt"),
                         FolderLine("ソフト", D + "/ソフト", "/Docs/ソフト"),
                         Line("表計算.csv", "", "4", stringTime, D + "/表計算.csv", "/Docs/表計算.csv"),
                         Line("big.bin", "", "5000000000", stringTime, D + "/big.bin", "/Docs/big.bin")});
    // When two shares hold the path, the first in the list decides the names.
    ExpectFolderListing(List(D + "/Sub", {stringTemp, D}), FolderLine("..", D, "/" + stringTemp.substr(5) + "/Docs"),
                        {
                            Line("y", "", "5", stringTime, D + "/Sub/y",
                                 "/" + stringTemp.substr(5) + "/Docs/Sub/y"),
                            FolderLine("Z", D + "/Sub/Z", "/" + stringTemp.substr(5) + "/Docs/Sub/Z"),
                        });
}

TEST_F(ListTest, TheFileSystemRootCanBeShared) {
    MakeDocs();
    // Listed at its address "/.", and everything below "/" lies in it.
    Listing structRoot = List("/.", {"/"});
    ASSERT_EQ(0, structRoot.intResult);
    EXPECT_EQ(FolderLine("..", "", "/"), Lines(structRoot.stringText)[0]);
    EXPECT_NE(std::string::npos, structRoot.stringText.find(FolderLine("tmp", "/tmp", "/ルート/tmp")));
    ExpectFolderListing(List(stringDocs + "/Sub", {"/"}), FolderLine("..", stringDocs, "/ルート" + stringDocs),
                        {Line("y", "", "5", "2024/01/05 09:03:07", stringDocs + "/Sub/y", "/ルート" + stringDocs + "/Sub/y"),
                         FolderLine("Z", stringDocs + "/Sub/Z", "/ルート" + stringDocs + "/Sub/Z")});
    Listing structTmp = List("/tmp", {"/"});
    ASSERT_EQ(0, structTmp.intResult);
    EXPECT_EQ(FolderLine("..", "/.", "/ルート"), Lines(structTmp.stringText)[0]);
}

TEST_F(ListTest, FailuresGiveNoBufferAndNoLength) {
    MakeDocs();
    struct Case {
        const char *pcharName;
        std::string stringPath;
        std::vector<std::string> vectorFolders;
    };
    // A folder whose own path fits, but not the path of the file inside it.
    const std::string stringLong(240 - stringDocs.size() - 1, 'd');
    MakeFolder(stringDocs + "/" + stringLong);
    WriteFile(stringDocs + "/" + stringLong + "/" + std::string(60, 'f'), "1");
    const std::vector<Case> vectorCases = {
        {"no shares, folder requested", stringDocs, {}},
        {"a logical path", "/Docs", {stringDocs}},
        {"another case", stringTemp + "/docs", {stringDocs}},
        {"prefix without separator", stringDocs + "Extra", {stringDocs}},
        {"missing folder inside a share", stringDocs + "/missing", {stringDocs}},
        {"a file", stringDocs + "/x.txt", {stringDocs}},
        {"entry whose path does not fit", stringDocs + "/" + stringLong, {stringDocs}},
        {"requested path too long", stringDocs + "/" + std::string(300, 'p'), {stringDocs}},
        {"search pattern too long", stringDocs + "/" + std::string(257 - stringDocs.size(), 'p'), {stringDocs}},
    };
    for (const Case &structCase : vectorCases) {
        Listing structListing = List(structCase.stringPath, structCase.vectorFolders);
        EXPECT_EQ(-1, structListing.intResult) << structCase.pcharName;
        EXPECT_FALSE(structListing.boolBufferGiven) << structCase.pcharName;
    }
    // A folder that cannot be enumerated is an error-level entry, written with the trace off too.
    long longSavedFlag = longForceTraceFlag;
    longForceTraceFlag = 0;
    size_t sizeTraceBefore = TodayLogSize("log");
    List(stringDocs + "/missing", {stringDocs});
    longForceTraceFlag = longSavedFlag;
    EXPECT_NE(std::string::npos, TodayLog("log", sizeTraceBefore).find("外部処理異常終了(FindFirstFile)：エラーコード=2"));
}

struct PublicationCase {
    const char *pcharPath;
    bool boolPublished;
};

void ExpectPublication(const std::vector<std::string> &vectorFolders, const Server_PathRules &structRules,
                       const std::vector<PublicationCase> &vectorCases) {
    Config_SharedFolder *pstructFolders = MakeFolderList(vectorFolders);
    for (const PublicationCase &structCase : vectorCases) {
        Server_PublishedPath structPublished;
        EXPECT_EQ(structCase.boolPublished ? 0 : -1,
                  Server_FindPublishedPath(structCase.pcharPath, pstructFolders, &structRules, &structPublished))
            << structCase.pcharPath;
    }
    Config_ReleaseSharedFolderList(&pstructFolders);
}

TEST(PublicationTest, OnlyPlainNamesBelowASharedFolderArePublished) {
    ExpectPublication({"/srv/share"}, {'/', 0},
                      {
                          {"/srv/share", true},
                          {"/srv/share/a..b", true},
                          {"/srv/share/two words", true},
                          {"/srv/share/...", true},
                          {"/srv/share/..x/.y", true},
                          {"/srv/share/CON", true},
                          {"/srv/share/x:y", true},
                          {"/srv/share/ソフト/能", true},
                          {"/srv/share/..", false},
                          {"/srv/share/../etc/passwd", false},
                          {"/srv/share/a/../../etc/passwd", false},
                          {"/srv/share/.", false},
                          {"/srv/share/./x", false},
                          {"/srv/share/", false},
                          {"/srv/share//x", false},
                          {"/srv/share/x/", false},
                          {"/srv/shared/x", false},
                          {"/srv/sharex", false},
                          {"/srv/Share/x", false},
                          {"/share/x", false},
                          {"/etc/passwd", false},
                          {"", false},
                      });
    ExpectPublication({"C:\\Share"}, {'\\', 1},
                      {
                          {"C:\\Share", true},
                          {"C:\\Share\\a..b", true},
                          {"C:\\Share\\two words.txt", true},
                          {"C:\\Share\\...x", true},
                          {"C:\\Share\\CONSOLE.txt", true},
                          {"C:\\Share\\COM10", true},
                          {"C:\\Share\\.hidden", true},
                          {"C:\\Share\\ソフト\\能", true},
                          {"C:\\Share\\..\\Windows\\win.ini", false},
                          {"C:\\Share\\a\\..\\..\\x", false},
                          {"C:\\Share\\.. \\x", false},
                          {"C:\\Share\\..\\", false},
                          {"C:\\Share\\.", false},
                          {"C:\\Share\\", false},
                          {"C:\\Share\\\\x", false},
                          {"C:\\Share\\sub/../../x", false},
                          {"C:\\Share/../x", false},
                          {"C:\\Share\\x.txt::$DATA", false},
                          {"C:\\Share\\*", false},
                          {"C:\\Share\\a?b", false},
                          {"C:\\Share\\a<b", false},
                          {"C:\\Share\\a|b", false},
                          {"C:\\Share\\a\x01b", false},
                          {"C:\\Share\\C:\\x", false},
                          {"C:\\Share\\x.", false},
                          {"C:\\Share\\x ", false},
                          {"C:\\Share\\CON", false},
                          {"C:\\Share\\con.txt", false},
                          {"C:\\Share\\Nul .log", false},
                          {"C:\\Share\\sub\\LPT1", false},
                          {"C:\\Share\\COM9.x.y", false},
                          {"C:\\Share\\conin$", false},
                          {"C:\\Shared\\x", false},
                          {"C:\\ShareX", false},
                          {"c:\\share\\x", false},
                          {"/Share/x", false},
                      });
    // A share whose name ends in a byte 0x5C that is the second half of a character: the path must go on
    // with a real separator after the whole name.
    ExpectPublication({"C:\\ソ"}, {'\\', 1},
                      {{"C:\\ソ\\x", true}, {"C:\\ソx", false}, {"C:\\ソ", true}});
}

void ExpectPublishedAs(const char *pcharPath, const std::vector<std::string> &vectorFolders,
                       const Server_PathRules &structRules, const char *pcharShareName, const char *pcharLogical,
                       const char *pcharParentPhysical, const char *pcharParentLogical, const char *pcharJoin) {
    Config_SharedFolder *pstructFolders = MakeFolderList(vectorFolders);
    Server_PublishedPath structPublished;
    ASSERT_EQ(0, Server_FindPublishedPath(pcharPath, pstructFolders, &structRules, &structPublished)) << pcharPath;
    EXPECT_STREQ(pcharShareName, structPublished.charShareName) << pcharPath;
    EXPECT_STREQ(pcharLogical, structPublished.charLogicalPath) << pcharPath;
    EXPECT_STREQ(pcharParentPhysical, structPublished.charParentPhysicalPath) << pcharPath;
    EXPECT_STREQ(pcharParentLogical, structPublished.charParentLogicalPath) << pcharPath;
    EXPECT_STREQ(pcharJoin, structPublished.charJoinPath) << pcharPath;
    Config_ReleaseSharedFolderList(&pstructFolders);
}

TEST(PublicationTest, WindowsPathsWithDoubleByteNamesAndDriveRoots) {
    const Server_PathRules structWindows = {'\\', 1};
    // "ソ" and "表" end in the byte 0x5C, which is no separator inside them.
    const std::vector<std::string> vectorFolders = {"C:\\ソフト", "C:\\Data\\表計算\\", "D:\\"};
    ExpectPublishedAs("C:\\ソフト", vectorFolders, structWindows, "ソフト", "/ソフト/", "", "/", "C:\\ソフト");
    ExpectPublishedAs("C:\\ソフト\\能力", vectorFolders, structWindows, "ソフト", "/ソフト/能力", "C:\\ソフト",
                      "/ソフト", "C:\\ソフト\\能力");
    ExpectPublishedAs("C:\\ソフト\\表\\能", vectorFolders, structWindows, "ソフト", "/ソフト/表/能", "C:\\ソフト\\表",
                      "/ソフト/表", "C:\\ソフト\\表\\能");
    ExpectPublishedAs("C:\\Data\\表計算\\", vectorFolders, structWindows, "表計算", "/表計算/", "", "/",
                      "C:\\Data\\表計算");
    ExpectPublishedAs("C:\\Data\\表計算\\y", vectorFolders, structWindows, "表計算", "/表計算/y", "C:\\Data\\表計算\\",
                      "/表計算", "C:\\Data\\表計算\\y");
    ExpectPublishedAs("D:\\", vectorFolders, structWindows, "D:", "/D:/", "", "/", "D:");
    ExpectPublishedAs("D:\\a\\b", vectorFolders, structWindows, "D:", "/D:/a/b", "D:\\a", "/D:/a", "D:\\a\\b");
    ExpectPublishedAs("D:\\a", vectorFolders, structWindows, "D:", "/D:/a", "D:\\", "/D:", "D:\\a");
}

}  // namespace
