#include <gtest/gtest.h>

#include "rules/command_line.h"
#include "rules/run_outcome.h"

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
    const char* logFile;    // nullptr: none
    const char* badOption;  // nullptr: none
};

TEST(ReadUpdateRequest, OptionsFollowTheThreeArgumentsInAnyLetterCase) {
    const RequestCase cases[] = {
        {"/TORVEN 7.1.0.12 Pkg", "Pkg", false, nullptr, nullptr},
        {"/TORVEN 7.1.0.12 Pkg /QUIET", "Pkg", true, nullptr, nullptr},
        {"/TORVEN 7.1.0.12 Pkg /quiet /Log=\"C:\\ログ\\a b.log\"", "Pkg", true, "C:\\ログ\\a b.log", nullptr},
        // An empty quoted name is no argument: the option moves up into its place.
        {"/TORVEN 7.1.0.12 \"\" /QUIET", "", true, nullptr, nullptr},
        {"/TORVEN 7.1.0.12 /LOG=x.log", "", false, "x.log", nullptr},
        {"/TORVEN 7.1.0.12 Pkg /QUIETLY", "Pkg", false, nullptr, "/QUIETLY"},
        {"/TORVEN 7.1.0.12 Pkg /QUIET /LOG=", "Pkg", true, nullptr, "/LOG="},
        {"/TORVEN 7.1.0.12 Pkg /LOG=a /LOG=b", "Pkg", false, "a", "/LOG=b"},
        {"/TORVEN 7.1.0.12 Pkg extra /QUIET", "Pkg", true, nullptr, "extra"},
    };
    for (const RequestCase& expected : cases) {
        SCOPED_TRACE(expected.arguments);
        const UpdateRequest request = ReadUpdateRequest(std::string("u.exe ") + expected.arguments);
        EXPECT_EQ(request.switchArgument, "/TORVEN");
        EXPECT_EQ(request.versionCode, "7.1.0.12");
        EXPECT_EQ(request.packageName, expected.packageName);
        EXPECT_EQ(request.quiet, expected.quiet);
        EXPECT_EQ(request.logFile.value_or("<none>"), expected.logFile ? expected.logFile : "<none>");
        EXPECT_EQ(request.badOption.value_or("<none>"), expected.badOption ? expected.badOption : "<none>");
    }
}

TEST(ExitCodeOf, AQuietRunAnswersInWindowsInstallerCodesAnInteractiveOneWithZero) {
    const std::pair<RunOutcome, int> quiet[] = {
        {RunOutcome::kSucceeded, 0},       {RunOutcome::kCopyFailed, 1603},     {RunOutcome::kNotInstalled, 1605},
        {RunOutcome::kNewerInstalled, 1638}, {RunOutcome::kBadArguments, 87},   {RunOutcome::kAnotherRunBusy, 1618},
        {RunOutcome::kUnexpectedError, 1},
    };
    for (const auto& [outcome, code] : quiet) {
        EXPECT_EQ(ExitCodeOf(outcome, true), code);
        EXPECT_EQ(ExitCodeOf(outcome, false), outcome == RunOutcome::kUnexpectedError ? 1 : 0);
    }
}

}  // namespace
}  // namespace updater
