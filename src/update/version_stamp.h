// File version stamps read from version resources, and keys that order them.
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

struct TVersionRec {
    std::array<std::int32_t, 4> numbers{};  // the four items as integers (0 when not one)
    std::string text = kUnknownStamp;        // the stored FileVersion text, or kUnknownStamp
};

// The Japanese "FileVersion" of the file's version resource when it has
// exactly four items; otherwise numbers 0 and kUnknownStamp.
TVersionRec ReadVersionStamp(const std::string& path);

// The items of a FileVersion text: "." (and CR, LF) end an item, empty items
// are dropped, a quoted stretch stays within one item. The items view `text`.
std::vector<std::string_view> SplitVersionItems(std::string_view text);

// Integer syntax of a version piece: leading blanks, one sign, decimal digits
// or a hexadecimal prefix ("$", "x", "X", "0x", "0X") and hex digits, nothing
// after. Decimal must fit a signed 32-bit number; hex is taken as a 32-bit
// pattern. Nothing when the piece is not such an integer.
std::optional<std::int32_t> ParseInteger(std::string_view piece);

// The four numbers of a stamp, split at every "." (and CR, LF), empty pieces
// included (0 for a piece that is not an integer). Keys order numerically: the first differing number decides.
struct VersionKey {
    std::array<std::int32_t, 4> numbers{};
    bool operator<(const VersionKey& other) const { return numbers < other.numbers; }
    bool operator==(const VersionKey& other) const { return numbers == other.numbers; }
};

VersionKey MakeVersionKey(const std::string& stamp);

}  // namespace updater
