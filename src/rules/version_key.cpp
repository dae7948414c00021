#include "rules/version_key.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "rules/cp932.h"

namespace updater {

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Length of a hexadecimal prefix at `pos`, 0 when there is none.
std::size_t HexPrefixLength(std::string_view piece, std::size_t pos) {
    if (pos < piece.size() && (piece[pos] == '$' || piece[pos] == 'x' || piece[pos] == 'X')) return 1;
    if (pos + 1 < piece.size() && piece[pos] == '0' && (piece[pos + 1] == 'x' || piece[pos + 1] == 'X'))
        return 2;
    return 0;
}

// Reads digits of `base` from `pos` to the end; nothing when there are none,
// when another character follows, or when the value passes `limit`.
std::optional<std::uint64_t> ReadDigits(std::string_view piece, std::size_t pos, int base,
                                        std::uint64_t limit) {
    if (pos >= piece.size()) return std::nullopt;
    std::uint64_t value = 0;
    for (; pos < piece.size(); ++pos) {
        const int digit = HexDigitValue(piece[pos]);
        if (digit < 0 || digit >= base) return std::nullopt;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > limit) return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<std::int32_t> ParseInteger(std::string_view piece) {
    std::size_t pos = piece.find_first_not_of(' ');
    if (pos == std::string_view::npos) return std::nullopt;
    bool negative = false;
    if (piece[pos] == '+' || piece[pos] == '-') negative = piece[pos++] == '-';

    if (const std::size_t prefix = HexPrefixLength(piece, pos); prefix > 0) {
        const auto pattern = ReadDigits(piece, pos + prefix, 16, 0xFFFFFFFFull);
        if (!pattern) return std::nullopt;
        const auto bits = static_cast<std::uint32_t>(*pattern);
        return static_cast<std::int32_t>(negative ? 0u - bits : bits);
    }
    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    const auto magnitude = ReadDigits(piece, pos, 10, limit);
    if (!magnitude) return std::nullopt;
    const auto value = static_cast<std::int64_t>(*magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::vector<std::string_view> SplitVersionItems(std::string_view text) {
    std::vector<std::string_view> items;
    items.reserve(4);  // the usual count
    std::size_t start = 0;
    const auto endItem = [&](std::size_t end) {
        if (end > start) items.push_back(text.substr(start, end - start));
    };
    for (std::size_t pos = 0; pos < text.size();) {
        const char c = text[pos];
        if (c == '.' || c == '\r' || c == '\n') {
            endItem(pos);
            start = ++pos;
        } else if (c == '\'' || c == '"') {
            // A quoted stretch, quotes included, runs to its closing quote or the end.
            ++pos;
            while (pos < text.size() && text[pos] != c) pos += CharLength(text, pos);
            pos = std::min(pos + 1, text.size());
        } else {
            pos += CharLength(text, pos);
        }
    }
    endItem(text.size());
    return items;
}

std::optional<VersionKey> ParseVersionStamp(std::string_view text) {
    const std::vector<std::string_view> items = SplitVersionItems(text);
    if (items.size() != 4) return std::nullopt;
    VersionKey key;
    for (std::size_t i = 0; i < 4; ++i) key.numbers[i] = ParseInteger(items[i]).value_or(0);
    return key;
}

VersionKey MakeVersionKey(const std::string& stamp) { return ParseVersionStamp(stamp).value_or(VersionKey{}); }

std::string VersionKey::Text() const {
    char text[64];
    std::snprintf(text, sizeof text, "%d;%d;%2.2d;%5.5d", numbers[0], numbers[1], numbers[2], numbers[3]);
    return text;
}

std::string StampOfFileVersion(const std::optional<std::string>& value) {
    return value && ParseVersionStamp(*value) ? *value : kUnknownStamp;
}

namespace {

bool IsAllDigits(const std::string& piece) {
    return !piece.empty() && std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int CompareNumbers(const std::string& a, const std::string& b) {
    const std::string x = a.substr(std::min(a.find_first_not_of('0'), a.size()));
    const std::string y = b.substr(std::min(b.find_first_not_of('0'), b.size()));
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

int ComparePieces(const std::string& a, const std::string& b) {
    if (IsAllDigits(a) && IsAllDigits(b)) return CompareNumbers(a, b);
    return a.compare(b);  // byte-wise, unsigned
}

std::vector<std::string> SplitAtDots(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t dot; (dot = text.find('.', start)) != std::string::npos; start = dot + 1)
        pieces.push_back(text.substr(start, dot - start));
    pieces.push_back(text.substr(start));
    return pieces;
}

}  // namespace

int CompareVersionTexts(const std::string& a, const std::string& b) {
    const std::vector<std::string> left = SplitAtDots(a);
    const std::vector<std::string> right = SplitAtDots(b);
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (const int order = ComparePieces(left[i], right[i]); order != 0) return order < 0 ? -1 : 1;
    }
    if (left.size() == right.size()) return 0;
    return left.size() < right.size() ? -1 : 1;
}

}  // namespace updater
