#include <gtest/gtest.h>

#include "platform/command_line.h"
#include "text/cp932.h"
#include "text/path.h"

namespace updater {
namespace {

TEST(ArgumentFromCommandLine, SplitsAtRunsOfControlBytesAndBlanks) {
    const std::string line = "prog.exe  /TORVEN\t7.1.0.12\x01\x1F" "Pkg";
    EXPECT_EQ(ArgumentFromCommandLine(line, 0), "prog.exe");
    EXPECT_EQ(ArgumentFromCommandLine(line, 1), "/TORVEN");
    EXPECT_EQ(ArgumentFromCommandLine(line, 2), "7.1.0.12");
    EXPECT_EQ(ArgumentFromCommandLine(line, 3), "Pkg");
    EXPECT_EQ(ArgumentFromCommandLine(line, 4), "");
}

TEST(ArgumentFromCommandLine, QuotesJoinStretchesAndHaveNoEscape) {
    EXPECT_EQ(ArgumentFromCommandLine("\"C:\\Program Files\\u.exe\" a", 0), "C:\\Program Files\\u.exe");
    EXPECT_EQ(ArgumentFromCommandLine("p ab\"c d\"ef g", 1), "abc def");
    EXPECT_EQ(ArgumentFromCommandLine("p ab\"c d\"ef g", 2), "g");
    // A backslash before a quote escapes nothing.
    EXPECT_EQ(ArgumentFromCommandLine("p \"a\\\" b", 1), "a\\");
    EXPECT_EQ(ArgumentFromCommandLine("p \"a\\\" b", 2), "b");
    // An unclosed quote runs to the end of the line.
    EXPECT_EQ(ArgumentFromCommandLine("p \"open to the end", 1), "open to the end");
}

TEST(ArgumentFromCommandLine, SkipsEmptyQuotePairsSoLaterArgumentsMoveUp) {
    const std::string line = "p /TORVEN \"\" 7.1.0.12 \"\"\"\" Pkg";
    EXPECT_EQ(ArgumentFromCommandLine(line, 2), "7.1.0.12");
    EXPECT_EQ(ArgumentFromCommandLine(line, 3), "Pkg");
    // A quote pair inside an argument is not skipped: it just joins nothing.
    EXPECT_EQ(ArgumentFromCommandLine("p a\"\"b", 1), "ab");
}

TEST(ArgumentFromCommandLine, StepsOverDoubleByteCharactersWhole) {
    // "表" is 0x95 0x5C and "ソ" is 0x83 0x5C: the trail bytes are no separators.
    const std::string line = "p \"\x95\x5C \x83\x5C\" \x83\x5C" "x";
    EXPECT_EQ(ArgumentFromCommandLine(line, 1), "\x95\x5C \x83\x5C");
    EXPECT_EQ(ArgumentFromCommandLine(line, 2), "\x83\x5Cx");
    EXPECT_EQ(ArgumentFromCommandLine("p 更新", 1), "更新");
}

TEST(ArgumentFromCommandLine, MissingArgumentsAreEmpty) {
    EXPECT_EQ(ArgumentFromCommandLine("", 0), "");
    EXPECT_EQ(ArgumentFromCommandLine("p", 1), "");
    EXPECT_EQ(ArgumentFromCommandLine("p   ", 1), "");
}

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

TEST(CaseChanges, LeaveDoubleByteCharactersAlone) {
    // "ａ" (0x82 0x81) has a trail byte that is no letter; "ア" 0x83 0x41 has trail 'A'.
    EXPECT_EQ(UpperCaseAscii("/torven \x83\x41\x83" "a"), "/TORVEN \x83\x41\x83" "a");
    EXPECT_EQ(LowerCaseAscii("ABC\x83\x41"), "abc\x83\x41");
}

}  // namespace
}  // namespace updater
