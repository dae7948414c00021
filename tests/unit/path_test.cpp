#include <gtest/gtest.h>

#include "text/path.h"

namespace updater {
namespace {

TEST(ExecutablePathRules, FolderKeepsDriveRootAndHonoursDoubleByteTrailBytes) {
    EXPECT_EQ(FolderOfPath("C:\\Stage\\updater.exe"), "C:\\Stage");
    EXPECT_EQ(FolderOfPath("E:\\updater.exe"), "E:\\");
    EXPECT_EQ(FolderOfPath("\\\\server\\share\\updater.exe"), "\\\\server\\share");
    // "ソ" ends in 0x5C: the folder is C:\ソフト, not cut inside the character.
    EXPECT_EQ(FolderOfPath("C:\\\x83\x5C\x83t\x83g\\u.exe"), "C:\\\x83\x5C\x83t\x83g");
    EXPECT_EQ(FileNameOfPath("C:\\\x83\x5C\\u.exe"), "u.exe");
    EXPECT_EQ(FileNameOfPath("C:\\x\\\x83\x5C.exe"), "\x83\x5C.exe");
    EXPECT_EQ(FileNameOfPath("C:updater.exe"), "updater.exe");
}

TEST(ExecutablePathRules, ApplicationTitleIsNameBeforeFirstDotCapitalised) {
    EXPECT_EQ(ApplicationTitleOf("C:\\Stage\\UPDATER.EXE"), "Updater");
    EXPECT_EQ(ApplicationTitleOf("C:\\Stage\\my.setup.exe"), "my");  // the first character is kept as it is
    EXPECT_EQ(ApplicationTitleOf("C:\\Stage\\更新AB.exe"), "更新ab");
}

TEST(EndsWithBackslash, LooksAtTheLastCharacterNotTheLastByte) {
    EXPECT_TRUE(EndsWithBackslash("D:\\APP\\"));
    EXPECT_FALSE(EndsWithBackslash("D:\\\x83\x5C"));
    EXPECT_TRUE(EndsWithBackslash("D:\\\x83\x5C\\"));
    EXPECT_FALSE(EndsWithBackslash(""));
}

}  // namespace
}  // namespace updater
