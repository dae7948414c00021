// File version stamps read from version resources.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "rules/version_key.h"

namespace updater {

struct TVersionRec {
    std::array<std::int32_t, 4> numbers{};  // the four items as integers (0 when not one)
    std::string text = kUnknownStamp;        // the stored FileVersion text, or kUnknownStamp
};

// The Japanese "FileVersion" of the file's version resource when it has
// exactly four items; otherwise numbers 0 and kUnknownStamp.
TVersionRec ReadVersionStamp(const std::string& path);

}  // namespace updater
