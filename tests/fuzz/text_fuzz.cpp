// Text helpers over code page 932 byte strings: FormatText, FindText,
// ReplaceAll, MakeBlanks and PadToWidth, each against a model written from
// its header. Stated rules checked: FormatText never rescans inserted text;
// FindText finds the first match at or after `from` that starts a character,
// never one on the second byte of a double-byte character; ReplaceAll
// replaces every such match left to right.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "rules/text.h"

namespace {

using fuzz::Require;

// Each "%s" of `format` replaced by the next argument (by nothing once they
// run out); the arguments are copied, never read as formats.
std::string ModelFormat(std::string_view format, const std::vector<std::string>& args) {
    std::string result;
    std::size_t next = 0;
    for (std::size_t pos = 0; pos < format.size(); ++pos) {
        if (format.compare(pos, 2, "%s") == 0) {
            if (next < args.size()) result += args[next++];
            ++pos;
        } else {
            result += format[pos];
        }
    }
    return result;
}

std::size_t ModelFind(const std::string& text, const std::string& pattern, std::size_t from) {
    if (pattern.empty()) return std::string::npos;
    const std::vector<bool> starts = fuzz::CharStarts(text, from);
    for (std::size_t pos = from; pos < text.size(); ++pos)
        if (starts[pos] && text.compare(pos, pattern.size(), pattern) == 0) return pos;
    return std::string::npos;
}

std::string ModelReplaceAll(const std::string& text, const std::string& pattern, const std::string& replacement) {
    std::string result;
    std::size_t pos = 0;
    for (std::size_t found; (found = ModelFind(text, pattern, pos)) != std::string::npos; pos = found + pattern.size())
        result += text.substr(pos, found - pos) + replacement;
    return result + text.substr(pos);
}

void CheckFormat(FuzzedDataProvider& data) {
    const std::string format = data.ConsumeRandomLengthString(64);
    std::vector<std::string> args;
    for (std::size_t n = data.ConsumeIntegralInRange<std::size_t>(0, 4); n > 0; --n)
        args.push_back(data.ConsumeRandomLengthString(16));
    std::string result;
    switch (args.size()) {
        case 0: result = updater::FormatText(format, {}); break;
        case 1: result = updater::FormatText(format, {args[0]}); break;
        case 2: result = updater::FormatText(format, {args[0], args[1]}); break;
        case 3: result = updater::FormatText(format, {args[0], args[1], args[2]}); break;
        default: result = updater::FormatText(format, {args[0], args[1], args[2], args[3]}); break;
    }
    Require(result == ModelFormat(format, args), "each \"%s\" takes the next argument, which is not scanned again");
}

void CheckFindAndReplace(FuzzedDataProvider& data) {
    const std::string text = data.ConsumeRandomLengthString(96);
    const std::string pattern = data.ConsumeRandomLengthString(8);
    const std::string replacement = data.ConsumeRandomLengthString(8);
    // `from` is a character start of `text` (or its end).
    const std::vector<bool> starts = fuzz::CharStarts(text);
    std::size_t from = data.ConsumeIntegralInRange<std::size_t>(0, text.size());
    while (from < text.size() && !starts[from]) ++from;

    const std::size_t found = updater::FindText(text, pattern, from);
    Require(found == ModelFind(text, pattern, from),
            "the first match at or after `from` that starts a character, never on a second byte");
    if (found != std::string::npos) Require(starts[found], "a found position starts a character");
    Require(updater::ReplaceAll(text, pattern, replacement) == ModelReplaceAll(text, pattern, replacement),
            "every match replaced, left to right");
    Require(updater::ReplaceAll(text, pattern, pattern) == text, "replacing a pattern by itself changes nothing");
}

void CheckBlanks(FuzzedDataProvider& data) {
    const int count = data.ConsumeIntegralInRange<int>(-600, 600);
    const std::string blanks = updater::MakeBlanks(count);
    Require(blanks == (count >= 0 && count <= 510 ? std::string(static_cast<std::size_t>(count), ' ') : std::string()),
            "count blanks up to 510, otherwise none");
    // Widths up to 510: PadToWidth pads with MakeBlanks, which gives no blanks
    // past 510, so a shorter text stays shorter than a wider width.
    const std::string text = data.ConsumeRandomLengthString(600);
    const int width = data.ConsumeIntegralInRange<int>(0, 510);
    const std::string padded = updater::PadToWidth(text, width);
    const auto size = static_cast<std::size_t>(width);
    Require(padded.size() == size, "a padded text has exactly `width` bytes");
    Require(size <= text.size() ? padded == text.substr(0, size)
                                : padded == text + std::string(size - text.size(), ' '),
            "a longer text is cut, a shorter one padded with blanks");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    CheckFormat(data);
    CheckFindAndReplace(data);
    CheckBlanks(data);
    return 0;
}
