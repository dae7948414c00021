// UTF-8 well-formedness, for the texts that come as UTF-8 (the manifest).
#pragma once

#include <cstddef>
#include <string_view>

namespace updater {

// Length of the well-formed UTF-8 sequence at `pos` (1 for an ASCII byte),
// or 0 when there is none: no overlong forms, no surrogates, nothing past
// U+10FFFF, nothing cut short by the end of `text`.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos);

}  // namespace updater
