// Code page 932 byte rules: which bytes start a double-byte character, and
// case changes that leave double-byte characters alone; and the name of the
// version resource's table that holds code page 932 texts.
#pragma once

#include <string>
#include <string_view>

namespace updater {

// The key of a version resource's Japanese string table: language 0x0411,
// code page 932 (0x03A4). The updater reads FileVersion from this table only.
inline constexpr char kJapaneseStringTable[] = "041103A4";

// True for a code page 932 lead byte: the first byte of a double-byte character.
inline bool IsLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Bytes taken by the character at `pos`: 2 for a double-byte character, else 1.
inline std::size_t CharLength(std::string_view text, std::size_t pos) {
    return IsLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

// Letters A-Z/a-z changed to upper or lower case; double-byte characters kept.
void UpperCaseAsciiInPlace(std::string& text);
std::string UpperCaseAscii(const std::string& text);
std::string LowerCaseAscii(const std::string& text);

}  // namespace updater
