// Version stamps and their keys. Two checks per input:
// - the input as a FileVersion text: it has a key exactly when it has four
//   items, the key's numbers are those items read as integers (0 when not
//   one), and MakeVersionKey gives that key or all zeros;
// - two stamps written from four 32-bit numbers each (decimal or hex, item
//   ends "." CR LF, empty items anywhere): each keys as its numbers, and the
//   keys order exactly as the four numbers do.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "rules/version_key.h"

namespace {

using fuzz::Require;
using Numbers = std::array<std::int32_t, 4>;

void CheckText(const std::string& text) {
    const std::vector<std::string_view> items = updater::SplitVersionItems(text);
    const auto key = updater::ParseVersionStamp(text);
    Require(key.has_value() == (items.size() == 4), "a stamp is accepted exactly when it has four items");
    if (key) {
        for (std::size_t i = 0; i < 4; ++i)
            Require(key->numbers[i] == updater::ParseInteger(items[i]).value_or(0),
                    "a key is made of the four items the stamp was accepted with");
    }
    Require(updater::MakeVersionKey(text) == key.value_or(updater::VersionKey{}),
            "a stamp that is not accepted keys as all zeros");
}

std::string ItemEnds(FuzzedDataProvider& data, std::size_t least) {
    static const char kEnds[] = {'.', '\r', '\n'};
    std::string ends(data.ConsumeIntegralInRange<std::size_t>(least, least + 2), '.');
    for (char& c : ends) c = kEnds[data.ConsumeIntegralInRange<int>(0, 2)];
    return ends;
}

std::string WriteStamp(const Numbers& numbers, FuzzedDataProvider& data) {
    std::string stamp = data.ConsumeBool() ? ItemEnds(data, 1) : std::string();
    for (std::size_t i = 0; i < 4; ++i) {
        char buffer[24];
        if (data.ConsumeBool()) std::snprintf(buffer, sizeof buffer, "%" PRId32, numbers[i]);
        else std::snprintf(buffer, sizeof buffer, "$%" PRIX32, static_cast<std::uint32_t>(numbers[i]));
        stamp += buffer;
        if (i < 3) stamp += ItemEnds(data, 1);
    }
    if (data.ConsumeBool()) stamp += ItemEnds(data, 1);
    return stamp;
}

Numbers ConsumeNumbers(FuzzedDataProvider& data) {
    Numbers numbers;
    // Small numbers often, so that equal leading numbers (and ties) are common.
    for (std::int32_t& n : numbers)
        n = data.ConsumeBool() ? data.ConsumeIntegralInRange<std::int32_t>(-2, 2) : data.ConsumeIntegral<std::int32_t>();
    return numbers;
}

void CheckOrder(FuzzedDataProvider& data) {
    const Numbers a = ConsumeNumbers(data);
    const Numbers b = data.ConsumeBool() ? a : ConsumeNumbers(data);
    const updater::VersionKey keyA = updater::MakeVersionKey(WriteStamp(a, data));
    const updater::VersionKey keyB = updater::MakeVersionKey(WriteStamp(b, data));
    Require(keyA.numbers == a && keyB.numbers == b, "a stamp of four numbers keys as those numbers");
    // The numbers' own order, the first differing number deciding.
    int order = 0;
    for (std::size_t i = 0; i < 4 && order == 0; ++i) order = a[i] < b[i] ? -1 : (a[i] > b[i] ? 1 : 0);
    Require((keyA < keyB) == (order < 0) && (keyB < keyA) == (order > 0) && (keyA == keyB) == (order == 0),
            "keys order exactly as the four numbers do");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    CheckText(std::string(reinterpret_cast<const char*>(bytes), size));
    FuzzedDataProvider data(bytes, size);
    CheckOrder(data);
    return 0;
}
