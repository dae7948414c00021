#include <gtest/gtest.h>

#include "rules/command_line.h"

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

struct RequestCase {
    const char* arguments;
    const char* packageName;
    bool quiet;
    const char* logFile;    // "" for none
    const char* badOption;  // "" for none
};

TEST(ReadUpdateRequest, OptionsFollowTheThreeArgumentsInAnyLetterCase) {
    const RequestCase cases[] = {
        {"Pkg /quiet /Log=\"C:\\ログ\\a b.log\"", "Pkg", true, "C:\\ログ\\a b.log", ""},
        // An empty quoted name is no argument: the option moves up into its place.
        {"\"\" /QUIET", "", true, "", ""},
        {"Pkg /QUIETLY /LOG=", "Pkg", false, "", "/QUIETLY"},
        {"Pkg /LOG=a /LOG=b", "Pkg", false, "a", "/LOG=b"},
    };
    for (const RequestCase& expected : cases) {
        SCOPED_TRACE(expected.arguments);
        const UpdateRequest request = ReadUpdateRequest(std::string("u.exe /TORVEN 7.1.0.12 ") + expected.arguments);
        EXPECT_EQ(request.packageName, expected.packageName);
        EXPECT_EQ(request.quiet, expected.quiet);
        EXPECT_EQ(request.logFile.value_or(""), expected.logFile);
        EXPECT_EQ(request.badOption.value_or(""), expected.badOption);
    }
}

}  // namespace
}  // namespace updater
