// JSON text as update-kit writes it: the manifest and check --json.
//
// Written by hand, not by a JSON library: updater.exe reads the manifest
// with its own strict reader, byte for byte as written here; the findings'
// layout (", " between members, one finding a line) and escapes (a U+FFFD
// for each byte of a code page 932 name that is not UTF-8, \u007f) are what
// scripts and the tests rely on; a library's writer lays out, escapes and
// replaces otherwise, or throws on such bytes.
#pragma once

#include <string>
#include <string_view>

namespace updater::kit {

// `text` as a JSON string literal, quotes included. Bytes that are not UTF-8
// become U+FFFD; control characters are escaped.
std::string JsonQuote(std::string_view text);

}  // namespace updater::kit
