// Code page 932 bytes as UTF-8 for the release engineer: the native codec's
// decoding (native/cp932_codec.h), with a visible stand-in for what does not
// decode, so that a text is always shown whole.
#pragma once

#include <string>
#include <string_view>

namespace updater::kit {

// For a finding or the manifest: U+FFFD for each byte that starts no
// character, the next byte starting afresh (the version reader's texts and
// the lint's paths always decode).
std::string Cp932AsReadableUtf8(std::string_view cp932);

// For preview's lines: a character that does not decode is shown as \xNN,
// one for each of its bytes.
std::string Cp932AsShownUtf8(std::string_view cp932);

}  // namespace updater::kit
