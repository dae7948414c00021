// File version stamps read from version resources.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "rules/version_key.h"

namespace updater {

// What ReadVersionStamp reads of one file. The copy decision compares the
// text only (through its version key, which orders the items as numbers);
// `numbers` are those four items as integers, kept with the text for a
// reader who wants them as numbers (a log of the figures, a test).
struct TVersionRec {
    std::array<std::int32_t, 4> numbers{};  // the four items as integers (0 when not one)
    std::string text = kUnknownStamp;        // the stored FileVersion text, or kUnknownStamp
};

// The Japanese "FileVersion" of the file's version resource when it has
// exactly four items; otherwise numbers 0 and kUnknownStamp.
TVersionRec ReadVersionStamp(const std::string& path);

}  // namespace updater
