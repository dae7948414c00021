#include "update/version_stamp.h"

#include <algorithm>
#include <limits>

#include "platform/command_line.h"
#include "platform/platform.h"
#include "update/text.h"
#include "update/texts.h"

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

TVersionRec ReadVersionStamp(const std::string& path) {
    TVersionRec record;
    if (!FileExists(path)) return record;
    const std::uint32_t size = GetVersionInfoSize(path);
    if (size == 0) return record;
    std::vector<std::uint8_t> buffer(size, 0);
    GetVersionInfo(path, buffer);  // a failed read leaves the buffer empty, and the query fails
    std::optional<std::string> value = QueryVersionValue(buffer, texts::kJapaneseFileVersion);
    if (!value) return record;

    {
        const std::vector<std::string_view> items = SplitVersionItems(*value);  // views into *value
        if (items.size() != 4) return record;
        for (std::size_t i = 0; i < 4; ++i) record.numbers[i] = ParseInteger(items[i]).value_or(0);
    }
    record.text = std::move(*value);
    return record;
}

VersionKey MakeVersionKey(const std::string& stamp) {
    // "." ends a piece, and so do CR, LF and CR LF; empty pieces count, a
    // break at the very end starts no piece. Read in one pass.
    VersionKey key;
    const std::string_view text = stamp;
    std::size_t index = 0;
    std::size_t start = 0;
    for (std::size_t pos = 0; pos < text.size() && index < 4; ++pos) {
        const char c = text[pos];
        if (c != '.' && c != '\r' && c != '\n') continue;
        key.numbers[index++] = ParseInteger(text.substr(start, pos - start)).value_or(0);
        if (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
        start = pos + 1;
    }
    if (index < 4 && start < text.size()) key.numbers[index] = ParseInteger(text.substr(start)).value_or(0);
    return key;
}

}  // namespace updater
