#include <gtest/gtest.h>

#include "text/path.h"
#include "text/text.h"
#include "update/product.h"

namespace updater {
namespace {

TEST(PadToWidth, PadsShortTextsAndCutsLongOnesToExactlyThreeBytes) {
    EXPECT_EQ(PadToWidth("8.0.5", 3), "8.0");
    EXPECT_EQ(PadToWidth("8", 3), "8  ");
    EXPECT_EQ(PadToWidth("", 3), "   ");
    EXPECT_EQ(PadToWidth("7.1", 3), "7.1");
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

TEST(EndsWithBackslash, LooksAtTheLastCharacterNotTheLastByte) {
    EXPECT_TRUE(EndsWithBackslash("D:\\APP\\"));
    EXPECT_FALSE(EndsWithBackslash("D:\\\x83\x5C"));
    EXPECT_TRUE(EndsWithBackslash("D:\\\x83\x5C\\"));
    EXPECT_FALSE(EndsWithBackslash(""));
}

TEST(CompareVersionTexts, OrdersNumericPiecesAsNumbers) {
    EXPECT_LT(CompareVersionTexts("8.0.9", "8.0.10"), 0);
    EXPECT_GT(CompareVersionTexts("8.0.10", "8.0.9"), 0);
    EXPECT_LT(CompareVersionTexts("7.1.0.9", "7.1.0.12"), 0);
    EXPECT_EQ(CompareVersionTexts("7.1.0.12", "7.1.0.12"), 0);
    EXPECT_EQ(CompareVersionTexts("7.01", "7.1"), 0);
    // Far beyond 64 bits, still numeric.
    EXPECT_LT(CompareVersionTexts("1.99999999999999999999999", "1.100000000000000000000000"), 0);
}

TEST(CompareVersionTexts, OtherPiecesByteWiseAndShorterTextsFirst) {
    EXPECT_LT(CompareVersionTexts("", "7.1.0.12"), 0);
    EXPECT_LT(CompareVersionTexts("8.0", "8.0.0"), 0);
    EXPECT_LT(CompareVersionTexts("8.0.9a", "8.0.9b"), 0);
    EXPECT_GT(CompareVersionTexts("8.0.a", "8.0.9"), 0);
    EXPECT_LT(CompareVersionTexts("8.0.9", "8.0.9a"), 0);
}

}  // namespace
}  // namespace updater
