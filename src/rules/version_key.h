// Version stamps as texts: the syntax of a FileVersion's items and the keys
// that order stamps, and the order of product version codes. Pure rules:
// nothing here reads a file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace updater {

// Stands for a file without a usable version.
inline constexpr char kUnknownStamp[] = "0.0.0.0";

// The four numbers of an accepted stamp. Keys order as the numbers do: the
// first differing number decides.
struct VersionKey {
    std::array<std::int32_t, 4> numbers{};
    bool operator<(const VersionKey& other) const { return numbers < other.numbers; }
    bool operator==(const VersionKey& other) const { return numbers == other.numbers; }
    // The key as text, "%d;%d;%2.2d;%5.5d" (13;1;02;00076), as update-kit names it.
    std::string Text() const;
};

// The items of a FileVersion text: "." (and CR, LF) end an item, empty items
// are dropped, a quoted stretch stays within one item. The items view `text`.
std::vector<std::string_view> SplitVersionItems(std::string_view text);

// Integer syntax of a version item: leading blanks, one sign, decimal digits
// or a hexadecimal prefix ("$", "x", "X", "0x", "0X") and hex digits, nothing
// after. Decimal must fit a signed 32-bit number; hex is taken as a 32-bit
// pattern. Nothing when the item is not such an integer.
std::optional<std::int32_t> ParseInteger(std::string_view piece);

// The key of a FileVersion text that has exactly four items (0 for an item
// that is not an integer); nothing for any other text. The one rule by which
// stamps are both accepted and ordered.
std::optional<VersionKey> ParseVersionStamp(std::string_view text);

// The key of a stamp as ReadVersionStamp accepts it; a text it would not
// accept keys as the unknown stamp does (all zeros).
VersionKey MakeVersionKey(const std::string& stamp);

// The stamp a file's Japanese FileVersion value makes: the value as stored
// when it has exactly four items; kUnknownStamp for any other value, or none.
std::string StampOfFileVersion(const std::optional<std::string>& value);

// Beside VersionKey, which orders files' FileVersion texts (four 32-bit items)
// as the copy decides, this orders product version codes ("7.1.0.12") as the
// registry and the command line give them.
// Order of two dotted version texts, piece by piece at the dots: two pieces of
// decimal digits compare as numbers of any length, other pieces byte-wise,
// and a text whose pieces run out first sorts first. <0, 0 or >0.
int CompareVersionTexts(const std::string& a, const std::string& b);

}  // namespace updater
