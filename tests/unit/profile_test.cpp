// Our private-profile reader and writer: the table of cases shared with the Wine test of Windows' own
// calls (exact file contents here, since we edit in place as Windows does), and what only POSIX shows.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "tests/profile/profile_table.h"

namespace {

std::string Test_WorkFolder(const char *pcharName) {
    char charCurrent[1024];
    std::string stringFolder = std::string(getcwd(charCurrent, sizeof(charCurrent))) + "/" + pcharName;
    mkdir(stringFolder.c_str(), 0700);
    return stringFolder;
}

TEST(ProfileTest, TableOfCasesHoldsWithExactFileContents) {
    std::string stringFolder = Test_WorkFolder("profile_work");
    ProfileTable_Result structResult;
    ASSERT_EQ(0, ProfileTable_Run(SORVANE_FIXTURE_DIR "/profile_cases.txt", stringFolder.c_str(), false, &structResult))
        << structResult.stringReport;
    EXPECT_EQ(0, structResult.longFailures) << structResult.stringReport;
    EXPECT_GT(structResult.longCases, 15);
}

TEST(ProfileTest, WriteFailsWhereTheFileCannotBeWrittenAndReadFallsBackToTheDefault) {
    std::string stringFolder = Test_WorkFolder("profile_nowrite");
    std::string stringMissingFolder = stringFolder + "/missing/profile.ini";
    EXPECT_EQ(-1, Platform_WritePrivateProfileString("S", "k", "v", stringMissingFolder.c_str()));

    // A folder where the file should be: nothing to read, nothing to write.
    std::string stringFolderAsFile = stringFolder + "/dir.ini";
    mkdir(stringFolderAsFile.c_str(), 0700);
    char charValue[16];
    EXPECT_EQ(3, Platform_GetPrivateProfileString("S", "k", "def", charValue, sizeof(charValue),
                                                  stringFolderAsFile.c_str()));
    EXPECT_STREQ("def", charValue);
    EXPECT_EQ(-1, Platform_WritePrivateProfileString("S", "k", "v", stringFolderAsFile.c_str()));
}

// The new text takes the file's place through a file beside it; the file keeps its permissions, and a
// symbolic link stays a link to the file that gets the text.
TEST(ProfileTest, WriteKeepsPermissionsAndSymbolicLinks) {
    std::string stringFolder = Test_WorkFolder("profile_replace");
    std::string stringPath = stringFolder + "/private.ini";
    std::string stringLink = stringFolder + "/link.ini";
    unlink(stringPath.c_str());
    unlink(stringLink.c_str());
    ASSERT_EQ(0, Platform_WritePrivateProfileString("S", "k", "1", stringPath.c_str()));
    ASSERT_EQ(0, chmod(stringPath.c_str(), 0600));
    ASSERT_EQ(0, symlink("private.ini", stringLink.c_str()));
    ASSERT_EQ(0, Platform_WritePrivateProfileString("S", "k", "2", stringPath.c_str()));
    ASSERT_EQ(0, Platform_WritePrivateProfileString("S", "j", "3", stringLink.c_str()));

    struct stat structStatus;
    ASSERT_EQ(0, stat(stringPath.c_str(), &structStatus));
    EXPECT_EQ(0600u, structStatus.st_mode & 07777);
    ASSERT_EQ(0, lstat(stringLink.c_str(), &structStatus));
    EXPECT_TRUE(S_ISLNK(structStatus.st_mode));
    char charValue[8];
    EXPECT_EQ(1, Platform_GetPrivateProfileString("S", "j", "", charValue, sizeof(charValue), stringPath.c_str()));
    EXPECT_STREQ("3", charValue);
    EXPECT_EQ(-1, Platform_FindFile((stringPath + ".tmp").c_str()));
}

TEST(ProfileTest, FindFileSeesFilesAndFoldersByTheirCp932Names) {
    std::string stringFolder = Test_WorkFolder("profile_find");
    // "ソフト" in CP932; on disk it is UTF-8.
    std::string stringPath = stringFolder + "/\x83\x5c\x83\x74\x83\x67";
    std::string stringUtf8Path = stringFolder + "/\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88";
    unlink(stringUtf8Path.c_str());
    EXPECT_EQ(-1, Platform_FindFile(stringPath.c_str()));
    FILE *pfileCreated = fopen(stringUtf8Path.c_str(), "wb");
    ASSERT_NE(nullptr, pfileCreated);
    fclose(pfileCreated);
    EXPECT_EQ(0, Platform_FindFile(stringPath.c_str()));
    EXPECT_EQ(0, Platform_FindFile(stringFolder.c_str()));
}

}  // namespace
