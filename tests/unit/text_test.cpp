#include <gtest/gtest.h>

#include "rules/text.h"

namespace updater {
namespace {

TEST(PadToWidth, PadsShortTextsAndCutsLongOnesToExactlyThreeBytes) {
    EXPECT_EQ(PadToWidth("8.0.5", 3), "8.0");
    EXPECT_EQ(PadToWidth("8", 3), "8  ");
    EXPECT_EQ(PadToWidth("", 3), "   ");
    EXPECT_EQ(PadToWidth("7.1", 3), "7.1");
}

TEST(PadToWidth, PadsOnlyAsFarAsMakeBlanksReaches) {
    EXPECT_EQ(PadToWidth("abc", 510), "abc" + std::string(507, ' '));
    EXPECT_EQ(PadToWidth("abc", 600), "abc");
    EXPECT_EQ(PadToWidth(std::string(700, 'x'), 600), std::string(600, 'x'));
}

TEST(MakeBlanks, GivesNothingFrom511On) {
    EXPECT_EQ(MakeBlanks(510).size(), 510u);
    EXPECT_EQ(MakeBlanks(511), "");
    EXPECT_EQ(MakeBlanks(0), "");
}

TEST(FormatText, ReplacesInOrderAndNeverRescansArguments) {
    EXPECT_EQ(FormatText("[%s|%s]", {"a", "b"}), "[a|b]");
    EXPECT_EQ(FormatText("%s-%s", {"%s", "x"}), "%s-x");
    EXPECT_EQ(FormatText("100%", {}), "100%");
}

TEST(ReplaceAll, NeverMatchesOnTheSecondByteOfADoubleByteCharacter) {
    // "ソ" is 0x83 0x5C: its trail byte must not be taken for the "\" of "\x".
    EXPECT_EQ(ReplaceAll("\x83\x5Cx\\x", "\\x", "/y"), "\x83\x5Cx/y");
    EXPECT_EQ(ReplaceAll("C:\\S\\a\\C:\\S\\b", "C:\\S", "D:\\T"), "D:\\T\\a\\D:\\T\\b");
}

}  // namespace
}  // namespace updater
