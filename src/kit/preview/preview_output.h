// The preview as update-kit prints it (kit/preview.h makes it).
#pragma once

#include <cstdio>

#include "kit/preview/preview.h"

namespace updater::kit {

// In UTF-8: one line a payload file (action, path, new version, installed
// version, separated by tabs), then the summary, the final box and the
// report's lines. What does not decode from code page 932 is shown as \xNN.
void PrintPreview(const Preview& preview, std::FILE* out);

}  // namespace updater::kit
