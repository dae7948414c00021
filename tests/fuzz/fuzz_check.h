// Shared pieces of the fuzz targets: a check that aborts with a message, and
// an independent model of code page 932 character boundaries.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// Aborts (a finding for libFuzzer) when a stated rule does not hold.
inline void Require(bool holds, const char* rule) {
    if (!holds) {
        std::fprintf(stderr, "rule violated: %s\n", rule);
        std::abort();
    }
}

// A code page 932 lead byte, written down again from the code page's table.
inline bool IsLead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// Where each character of `text` starts when it is read from `from`: a lead
// byte takes the next byte with it (a lead byte at the very end stands alone).
inline std::vector<bool> CharStarts(std::string_view text, std::size_t from = 0) {
    std::vector<bool> starts(text.size(), false);
    for (std::size_t pos = from; pos < text.size();) {
        starts[pos] = true;
        pos += IsLead(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
    }
    return starts;
}

inline bool IsPrefix(std::string_view prefix, std::string_view text) {
    return prefix.size() <= text.size() && text.substr(0, prefix.size()) == prefix;
}

inline bool IsSuffix(std::string_view suffix, std::string_view text) {
    return suffix.size() <= text.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace fuzz
