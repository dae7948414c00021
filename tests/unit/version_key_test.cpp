#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "rules/version_key.h"

namespace updater {
namespace {

TEST(ParseInteger, AcceptsDecimalAndTheHexPrefixes) {
    EXPECT_EQ(ParseInteger("76"), 76);
    EXPECT_EQ(ParseInteger("  +76"), 76);
    EXPECT_EQ(ParseInteger("-76"), -76);
    EXPECT_EQ(ParseInteger("$1F"), 31);
    EXPECT_EQ(ParseInteger("x1f"), 31);
    EXPECT_EQ(ParseInteger("X1F"), 31);
    EXPECT_EQ(ParseInteger("0x1F"), 31);
    EXPECT_EQ(ParseInteger("0X1f"), 31);
    EXPECT_EQ(ParseInteger("-$10"), -16);
    EXPECT_EQ(ParseInteger("007"), 7);
}

TEST(ParseInteger, RejectsAnythingAfterTheNumberAndOtherBlanks) {
    for (const char* piece : {"76a", "7 6", "76 ", "\t76", "", " ", "+", "--1", "+-1", "$", "0x", "1e3", "$G"}) {
        EXPECT_FALSE(ParseInteger(piece).has_value()) << '"' << piece << '"';
    }
}

TEST(ParseInteger, KeepsTo32BitsDecimalSignedHexAsAPattern) {
    EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseInteger("-2147483648"), INT32_MIN);
    EXPECT_FALSE(ParseInteger("2147483648").has_value());
    EXPECT_FALSE(ParseInteger("-2147483649").has_value());
    EXPECT_FALSE(ParseInteger("99999999999999999999").has_value());
    EXPECT_EQ(ParseInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseInteger("$80000000"), INT32_MIN);
    EXPECT_EQ(ParseInteger("$00000000FFFFFFFF"), -1);
    EXPECT_FALSE(ParseInteger("$100000000").has_value());
}

TEST(SplitVersionItems, DropsEmptyItemsKeepsQuotedDotsAndDoubleByteCharacters) {
    using Items = std::vector<std::string_view>;
    EXPECT_EQ(SplitVersionItems("1..2.3.4"), (Items{"1", "2", "3", "4"}));
    EXPECT_EQ(SplitVersionItems(".1.2.3.4."), (Items{"1", "2", "3", "4"}));
    EXPECT_EQ(SplitVersionItems("13, 1, 2, 76"), (Items{"13, 1, 2, 76"}));
    EXPECT_EQ(SplitVersionItems("'1.2'.3.4.5"), (Items{"'1.2'", "3", "4", "5"}));
    EXPECT_EQ(SplitVersionItems("1.\"2.3"), (Items{"1", "\"2.3"}));
    EXPECT_EQ(SplitVersionItems("1\r\n2.3\n4"), (Items{"1", "2", "3", "4"}));
    EXPECT_EQ(SplitVersionItems("版.1.2.3"), (Items{"版", "1", "2", "3"}));
}

using Numbers = std::array<std::int32_t, 4>;

TEST(MakeVersionKey, KeysExactlyTheItemsTheReaderAccepts) {
    EXPECT_EQ(MakeVersionKey("13.1.2.76").numbers, (Numbers{13, 1, 2, 76}));
    EXPECT_EQ(MakeVersionKey(".13.1.2.80").numbers, (Numbers{13, 1, 2, 80}));
    EXPECT_EQ(MakeVersionKey("1..2.3.4").numbers, (Numbers{1, 2, 3, 4}));
    EXPECT_EQ(MakeVersionKey("'1.2'.3.4.5").numbers, (Numbers{0, 3, 4, 5}));
    EXPECT_EQ(MakeVersionKey("13. 1. 2. 76").numbers, (Numbers{13, 1, 2, 76}));
    EXPECT_EQ(MakeVersionKey("1\r\n2\r3\n4").numbers, (Numbers{1, 2, 3, 4}));
    EXPECT_EQ(MakeVersionKey("1.2.3.76a").numbers, (Numbers{1, 2, 3, 0}));
}

TEST(MakeVersionKey, TextsTheReaderRejectsKeyAsTheUnknownStamp) {
    for (const char* text : {"1.2.", "1..2.3", "1.2.3.4.5", "13, 1, 2, 76", "", "...."}) {
        EXPECT_EQ(MakeVersionKey(text), MakeVersionKey(kUnknownStamp)) << '"' << text << '"';
        EXPECT_FALSE(ParseVersionStamp(text).has_value()) << '"' << text << '"';
    }
}

TEST(MakeVersionKey, OrdersNumericallyWhereTextOrderWouldNot) {
    EXPECT_LT(MakeVersionKey("13.9.0.1"), MakeVersionKey("13.10.0.1"));
    EXPECT_LT(MakeVersionKey("9.0.0.0"), MakeVersionKey("13.0.0.0"));
    EXPECT_LT(MakeVersionKey("1.0.0.99999"), MakeVersionKey("1.0.0.123456"));
    EXPECT_LT(MakeVersionKey("1.0.0.-1"), MakeVersionKey("1.0.0.0"));
    EXPECT_EQ(MakeVersionKey("1.02.3.4"), MakeVersionKey("1.2.3.4"));
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
