// Code page 932 as Windows converts it, computed on the build machine: the
// C library's iconv tables, corrected where Windows's own differ. update-kit
// and the preview seam judge every name and text with these functions, so
// that both agree with each other and with what the updater's ANSI calls
// will do on a customer's machine.
//
// Names on Linux are UTF-8; the updater sees code page 932 bytes. A name
// survives the trip only when WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS)
// gives bytes that MultiByteToWideChar turns back into the same name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace updater::native {

// UTF-16LE bytes (an odd last byte is dropped) converted to code page 932
// as WideCharToMultiByte does for code page 932 with its default flags, one
// unit at a time: near matches are taken ("é" becomes "e"); a unit the code
// page lacks, each half of a surrogate pair and an unpaired surrogate
// become '?'.
std::string Utf16ToCp932(std::string_view utf16le);

// The bytes the ANSI calls see for the UTF-8 text `utf8`: Utf16ToCp932 of
// its units. A text that is not UTF-8 gives its own bytes.
std::string WindowsAnsiBytes(std::string_view utf8);

// Code page 932 bytes decoded as MultiByteToWideChar decodes them, in
// UTF-8; nothing when they are not code page 932 (a code the page lacks, a
// lead byte without its trail byte). A caller that wants a text anyway
// makes its own replacement for what does not decode.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);

// The exact code page 932 spelling of the UTF-8 name `utf8`: the bytes
// Windows gives for it, when they decode back to the same name; nothing
// when they do not (a character the code page lacks or has only a near
// match for), or when `utf8` is not UTF-8.
std::optional<std::string> NameInCp932(std::string_view utf8);

// A name's UTF-16 units and the key by which Windows matches names: each
// unit upper-cased on its own by the Unicode simple mapping (ASCII,
// full-width Latin, Greek, Cyrillic, Roman numerals: every cased letter
// code page 932 has), halves of a surrogate pair kept as they are. A name
// that is not UTF-8 stands for itself: one unit a byte, in units and key
// alike. Throws std::runtime_error when the C library's Unicode locale
// (C.UTF-8) is missing: without its case table no key would be right.
struct NameUnits {
    std::u16string units;
    std::u16string caseKey;
};
NameUnits UnitsOfName(std::string_view utf8);

// UnitsOfName(utf8).caseKey.
std::u16string CaseKey(std::string_view utf8);

}  // namespace updater::native
