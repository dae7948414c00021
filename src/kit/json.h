// JSON text as update-kit writes it: the manifest and check --json.
#pragma once

#include <string>
#include <string_view>

namespace updater::kit {

// `text` as a JSON string literal, quotes included. Bytes that are not UTF-8
// become U+FFFD; control characters are escaped.
std::string JsonQuote(std::string_view text);

}  // namespace updater::kit
