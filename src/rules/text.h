// Byte-string helpers over code page 932 texts.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace updater {

using TextList = std::vector<std::string>;

// `count` blanks when `count` is 510 or less, otherwise an empty text.
std::string MakeBlanks(int count);

// A longer text cut to `width` bytes; a shorter one padded with blanks to
// exactly `width` bytes as long as `width` is 510 or less (the padding comes
// from MakeBlanks, which gives nothing beyond that, so a shorter text stays as
// it is then). The program pads to 3 only.
std::string PadToWidth(const std::string& text, int width);

// `format` with each "%s" replaced, in order, by the next argument. Inserted
// texts are never scanned again, so a "%" in an argument stays as it is.
std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args);

// Position of the first `pattern` in `text` at or after `from` (itself a
// character boundary) that starts on a character boundary, never on the
// second byte of a double-byte character; npos when there is none.
std::size_t FindText(const std::string& text, const std::string& pattern, std::size_t from = 0);

// Every occurrence of `pattern` replaced by `replacement`, left to right.
std::string ReplaceAll(const std::string& text, const std::string& pattern,
                       const std::string& replacement);

// The bytes of a text file holding `lines`, each ending in CR LF.
std::string TextFileBytes(const TextList& lines);

}  // namespace updater
