// The code page 932 codec against Windows's own conversions, taken from the
// code page table Wine ships (WINE_CP932_TABLE). Names are written as u8
// literals, which stay UTF-8 whatever the compiler's execution character
// set; expected code page 932 bytes are written as escapes.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "native/cp932_codec.h"
#include "wine_cp932_table.h"

namespace updater::native {
namespace {

// ---------------------------------------------------------------------------
// UTF-16 to code page 932, unit by unit as WideCharToMultiByte does.

std::string Units(std::initializer_list<std::uint16_t> units) {
    std::string out;
    for (const std::uint16_t u : units) out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    return out;
}

TEST(Utf16ToCp932, TakesWindowsChoicesAndMarksWhatTheCodePageLacks) {
    EXPECT_EQ(Utf16ToCp932(Units({'A', 0x7248, 0x30AB})), "A\x94\xC5\x83\x4A");  // "A版カ"
    EXPECT_EQ(Utf16ToCp932(Units({0xFF76})), "\xB6");                          // half-width "ｶ"
    // Where code page 932 has two codes for one character, Windows's pick.
    EXPECT_EQ(Utf16ToCp932(Units({0x2170, 0x9AD9, 0x2252, 0xFFE2, 0xFF5E, 0x2225})),
              "\xFA\x40\xFB\xFC\x81\xE0\x81\xCA\x81\x60\x81\x61");  // ⅰ 髙 ≒ ￢ ～ ∥
    EXPECT_EQ(Utf16ToCp932(Units({0x20AC, '1'})), "?1");                        // "€"
    EXPECT_EQ(Utf16ToCp932(Units({0xE9, 0xAB, 0xA5, 0x2014})), "e\x81\xE1\x5C?");  // near matches: é « ¥, not —
    EXPECT_EQ(Utf16ToCp932(Units({0xD83D, 0xDE00, '.'})), "??.");              // a pair: one '?' a unit
    EXPECT_EQ(Utf16ToCp932(Units({0xDE00, 0xD83D, 'x', 0xD800})), "??x?");    // unpaired, reversed, at the end
    EXPECT_EQ(Utf16ToCp932(Units({'a', 0, 'b'}) + "\x41"), std::string("a\0b", 3));  // odd byte dropped
    EXPECT_EQ(Utf16ToCp932(""), "");
    // A long run goes through iconv in several pieces.
    std::string many;
    for (int i = 0; i < 1000; ++i) many += Units({0x7248, 0x20AC});
    std::string expected;
    for (int i = 0; i < 1000; ++i) expected += "\x94\xC5?";
    EXPECT_EQ(Utf16ToCp932(many), expected);
}

// Every unit of the Basic Multilingual Plane against the code page 932 table
// Wine ships (WINE_CP932_TABLE): its table of Unicode to code page 932, one
// 16-bit code a unit, follows the header and the table of the other way.
TEST(Utf16ToCp932, EveryUnitAsTheWindowsCodePageTableHasIt) {
    const test::WineCp932Table table;
    std::vector<std::uint32_t> differences;
    for (std::uint32_t unit = 1; unit < 0x10000; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;
        const std::uint16_t code = table.CodeOf(unit);
        std::string expected;
        if (code > 0xFF) expected += static_cast<char>(code >> 8);
        expected += static_cast<char>(code & 0xFF);
        if (Utf16ToCp932(Units({static_cast<std::uint16_t>(unit)})) != expected)
            differences.push_back(unit);
    }
    EXPECT_TRUE(differences.empty()) << differences.size() << " units differ, the first U+" << std::hex
                                     << (differences.empty() ? 0 : differences.front());
}

TEST(NameInCp932, GivesTheBytesWindowsUsesOrNothing) {
    EXPECT_EQ(NameInCp932(u8"ledger.dll"), std::optional<std::string>("ledger.dll"));
    EXPECT_EQ(NameInCp932(u8"財務"), std::optional<std::string>("\x8D\xE0\x96\xB1"));
    EXPECT_EQ(NameInCp932(u8"ﾃ"), std::optional<std::string>("\xC3"));
    EXPECT_EQ(NameInCp932(u8"ソ"), std::optional<std::string>("\x83\x5C"));  // trail byte "\"
    EXPECT_EQ(NameInCp932("\xC3\xA9"), std::nullopt);
    EXPECT_EQ(NameInCp932("\xC2\xA5"), std::nullopt);
    EXPECT_EQ(NameInCp932("\xC3"), std::nullopt);  // a cut UTF-8 sequence
    EXPECT_EQ(NameInCp932(""), std::optional<std::string>(""));
}

// Windows's own round trip for every unit of the Basic Multilingual Plane,
// from the code page 932 table Wine ships: the unit to its code and the code
// back; the name survives when it comes back as itself.
TEST(NameInCp932, EveryUnitAsTheWindowsCodePageTableRoundTripsIt) {
    const test::WineCp932Table table;
    ASSERT_EQ(table.UnitOf(0x8DE0), 0x8CA1);  // 財
    std::vector<std::uint32_t> differences;
    for (std::uint32_t unit = 1; unit < 0x10000; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;
        const bool windows = table.UnitOf(table.CodeOf(unit)) == unit;
        std::string utf8;
        if (unit < 0x80) {
            utf8 += static_cast<char>(unit);
        } else if (unit < 0x800) {
            utf8 += static_cast<char>(0xC0 | (unit >> 6));
            utf8 += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (unit >> 12));
            utf8 += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (unit & 0x3F));
        }
        if (NameInCp932(utf8).has_value() != windows) differences.push_back(unit);
    }
    EXPECT_TRUE(differences.empty()) << differences.size() << " units differ, the first U+" << std::hex
                                     << (differences.empty() ? 0 : differences.front());
}

}  // namespace
}  // namespace updater::native
