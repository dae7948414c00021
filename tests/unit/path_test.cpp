#include <gtest/gtest.h>

#include "rules/file_name.h"
#include "rules/path.h"
#include "rules/payload_entry.h"

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

TEST(FaultOfName, NamesWindowsWouldTakeForAnotherFileOrNoneAtAll) {
    const std::pair<std::string, NameFault> rows[] = {
        {"a.dll", NameFault::kNone},
        {"\x83\x5C", NameFault::kNone},              // "ソ": its trail byte is no separator
        {"\x95\x7C.txt", NameFault::kNone},          // "表"-like trail byte "|"
        {"CONSOLE.txt", NameFault::kNone},            // only the whole stem is a device
        {"COM0", NameFault::kNone},
        {".hidden", NameFault::kNone},
        {"", NameFault::kEmpty},
        {"a\\b", NameFault::kForbiddenCharacter},
        {"a/b", NameFault::kForbiddenCharacter},
        {"C:x", NameFault::kForbiddenCharacter},
        {"*?\"<>|", NameFault::kForbiddenCharacter},
        {"tab\there", NameFault::kForbiddenCharacter},
        {"x.dat.", NameFault::kTrailingBlankOrDot},
        {"x.dat ", NameFault::kTrailingBlankOrDot},
        {"..", NameFault::kTrailingBlankOrDot},
        {"CON", NameFault::kDeviceName},
        {"nul.txt", NameFault::kDeviceName},
        {"Com1.tar.gz", NameFault::kDeviceName},
        {"LPT9", NameFault::kDeviceName},
        {"aux .log", NameFault::kDeviceName},        // blanks before the dot do not help
        {"CONOUT$", NameFault::kDeviceName},
        {"~UPD.tmp", NameFault::kReservedName},       // the copy's temporary name, in any case
        {"~upd.tmp.txt", NameFault::kNone},
    };
    for (const auto& [name, fault] : rows) EXPECT_EQ(FaultOfName(name), fault) << name;
}

// The updater's own name is passed over before anything else is judged, even
// an inexact name whose text spells it; any other entry gets every reason it
// is refused, for a lint to name them all.
TEST(RulePayloadEntry, TheUpdatersOwnNameFirstThenEveryReasonToRefuse) {
    const std::string updater = "updater.exe", other = "Updater.exe", device = "nul.txt", dot = "x.dat.";
    EXPECT_EQ(RulePayloadEntry({updater, false, true}, updater).verdict, EntryVerdict::kSkipAsUpdater);
    EXPECT_EQ(RulePayloadEntry({other, true, false}, updater).verdict, EntryVerdict::kTake);
    const EntryRuling both = RulePayloadEntry({device, true, true}, updater);
    EXPECT_EQ(both.verdict, EntryVerdict::kRefuse);
    EXPECT_EQ(both.nameFault, NameFault::kDeviceName);
    EXPECT_TRUE(both.link);
    EXPECT_FALSE(both.inexactName);
    // An inexact name's text names no file: it is not judged as a name.
    const EntryRuling inexact = RulePayloadEntry({dot, false, false}, updater);
    EXPECT_EQ(inexact.verdict, EntryVerdict::kRefuse);
    EXPECT_TRUE(inexact.inexactName);
    EXPECT_EQ(inexact.nameFault, NameFault::kNone);
}

TEST(CollapseDotSegments, StaysWithinTheDriveOrShare) {
    EXPECT_EQ(CollapseDotSegments("C:\\a\\.\\b\\..\\c"), "C:\\a\\c");
    EXPECT_EQ(CollapseDotSegments("C:\\a\\..\\..\\..\\x"), "C:\\x");
    EXPECT_EQ(CollapseDotSegments("\\\\srv\\share\\..\\x"), "\\\\srv\\share\\x");
    EXPECT_EQ(CollapseDotSegments("D:\\"), "D:\\");
    EXPECT_EQ(CollapseDotSegments("D:\\App\\"), "D:\\App\\");
    EXPECT_EQ(CollapseDotSegments("relative\\x"), "");
    EXPECT_TRUE(LiesBelow("D:\\App\\x", "D:\\App\\"));
    EXPECT_FALSE(LiesBelow("D:\\Apple\\x", "D:\\App"));
    EXPECT_FALSE(LiesBelow("D:\\App\\", "D:\\App\\"));
}

}  // namespace
}  // namespace updater
