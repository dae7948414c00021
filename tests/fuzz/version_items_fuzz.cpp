// The items of a FileVersion text. The input is the text. Stated rule: ".",
// CR and LF end an item, empty items are dropped, a quoted stretch stays
// within one item, and the items view the text. Checked as a whole: the items
// lie in order inside the text, every byte outside them is an item end, each
// item reaches from one item end (or the start) to the next (or the end), and
// no item holds an item end outside its quoted stretches.
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "rules/version_key.h"

namespace {

using fuzz::Require;

bool IsItemEnd(char c) { return c == '.' || c == '\r' || c == '\n'; }

// True when `item` holds an item end that is not inside a quoted stretch.
bool HasUnquotedItemEnd(std::string_view item) {
    for (std::size_t pos = 0; pos < item.size();) {
        const char c = item[pos];
        if (IsItemEnd(c)) return true;
        if (c == '\'' || c == '"') {
            // The stretch runs to its closing quote or the end, over whole characters.
            ++pos;
            while (pos < item.size() && item[pos] != c)
                pos += fuzz::IsLead(static_cast<unsigned char>(item[pos])) && pos + 1 < item.size() ? 2 : 1;
            ++pos;
        } else {
            pos += fuzz::IsLead(static_cast<unsigned char>(c)) && pos + 1 < item.size() ? 2 : 1;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    const std::vector<std::string_view> items = updater::SplitVersionItems(text);

    std::vector<bool> covered(text.size(), false);
    std::size_t next = 0;  // where the next item may start
    for (const std::string_view item : items) {
        Require(!item.empty(), "empty items are dropped");
        Require(item.data() >= text.data() + next && item.data() + item.size() <= text.data() + text.size(),
                "the items view the text, in order, without overlap");
        const auto start = static_cast<std::size_t>(item.data() - text.data());
        const std::size_t end = start + item.size();
        Require(start == 0 || IsItemEnd(text[start - 1]), "an item starts at the text's start or after an item end");
        Require(end == text.size() || IsItemEnd(text[end]), "an item runs to the text's end or to an item end");
        Require(!HasUnquotedItemEnd(item), "only a quoted stretch holds an item end within an item");
        for (std::size_t pos = start; pos < end; ++pos) covered[pos] = true;
        next = end;
    }
    for (std::size_t pos = 0; pos < text.size(); ++pos)
        Require(covered[pos] || IsItemEnd(text[pos]), "every byte outside the items is an item end");
    return 0;
}
