// The integer syntax of a version piece. The input is the piece. Its result is
// compared with a model written from the stated syntax: leading blanks, one
// sign, decimal digits or a hexadecimal prefix ("$", "x", "X", "0x", "0X") and
// hex digits, nothing after; decimal within a signed 32-bit number, hex taken
// as a 32-bit pattern. Then every 32-bit number, written in each accepted
// form, must read back as itself.
#include <fuzzer/FuzzedDataProvider.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "rules/version_key.h"

namespace {

using fuzz::Require;

int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
}

// The magnitude of `digits` (at least one, all of `base`), or nothing when a
// character is not a digit or the value passes `limit`. Leading zeros are free.
std::optional<std::uint64_t> Magnitude(std::string_view digits, int base, std::uint64_t limit) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        const int digit = DigitValue(c, base);
        if (digit < 0) return std::nullopt;
        if (value > (limit - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) return std::nullopt;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return value;
}

std::optional<std::int32_t> Model(std::string_view piece) {
    std::size_t pos = 0;
    while (pos < piece.size() && piece[pos] == ' ') ++pos;
    bool negative = false;
    if (pos < piece.size() && (piece[pos] == '+' || piece[pos] == '-')) negative = piece[pos++] == '-';
    const std::string_view rest = piece.substr(pos);
    std::size_t prefix = 0;
    if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) prefix = 2;
    else if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')) prefix = 1;
    if (prefix > 0) {
        const auto pattern = Magnitude(rest.substr(prefix), 16, 0xFFFFFFFFu);
        if (!pattern) return std::nullopt;
        const std::uint32_t bits = negative ? 0u - static_cast<std::uint32_t>(*pattern) : static_cast<std::uint32_t>(*pattern);
        return static_cast<std::int32_t>(bits);
    }
    const auto magnitude = Magnitude(rest, 10, negative ? 2147483648u : 2147483647u);
    if (!magnitude) return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*magnitude) : static_cast<std::int64_t>(*magnitude));
}

void CheckWritten(std::int32_t number, FuzzedDataProvider& data) {
    const std::string blanks(data.ConsumeIntegralInRange<std::size_t>(0, 3), ' ');
    const std::string zeros(data.ConsumeIntegralInRange<std::size_t>(0, 12), '0');
    const auto bits = static_cast<std::uint32_t>(number);
    char buffer[40];

    std::snprintf(buffer, sizeof buffer, "%" PRId32, number);
    std::string decimal = buffer;
    if (number >= 0 && data.ConsumeBool()) decimal = "+" + zeros + decimal;
    else if (number < 0) decimal = "-" + zeros + decimal.substr(1);
    Require(updater::ParseInteger(blanks + decimal) == number, "a decimal 32-bit number reads back");

    static const char* const kPrefixes[] = {"$", "x", "X", "0x", "0X"};
    const char* prefix = kPrefixes[data.ConsumeIntegralInRange<int>(0, 4)];
    std::snprintf(buffer, sizeof buffer, data.ConsumeBool() ? "%" PRIX32 : "%" PRIx32, bits);
    Require(updater::ParseInteger(blanks + prefix + zeros + buffer) == number, "a 32-bit pattern in hex reads back");
    std::snprintf(buffer, sizeof buffer, "%" PRIX32, 0u - bits);
    Require(updater::ParseInteger(blanks + "-" + prefix + buffer) == number, "a negated hex pattern reads back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view piece(reinterpret_cast<const char*>(bytes), size);
    Require(updater::ParseInteger(piece) == Model(piece), "the integer syntax as stated");
    FuzzedDataProvider data(bytes, size);
    CheckWritten(data.ConsumeIntegral<std::int32_t>(), data);
    return 0;
}
