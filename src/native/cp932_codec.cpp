#include "native/cp932_codec.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <stdexcept>

#include "native/iconv_converter.h"
#include "rules/cp932.h"

namespace updater::native {

namespace {

// The `index`th unit of UTF-16LE bytes (which hold at least index + 1 units).
std::uint16_t UnitAt(std::string_view utf16le, std::size_t index) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(utf16le[2 * index]) |
                                      (static_cast<unsigned char>(utf16le[2 * index + 1]) << 8));
}

// Where Windows's code page 932 conversion (WideCharToMultiByte, default
// flags) and the C library's CP932 part: Windows's near matches ("best fit":
// accented Latin letters to their base letter, "«" to "≪", U+00AD to "-",
// U+F8F0-U+F8F3 to the single bytes A0, FD-FF) and five characters the C
// library maps but Windows does not ("?", 0x3F). Sorted by unit; a code above
// 0xFF is a lead and a trail byte. The unit tests compare every unit of the
// Basic Multilingual Plane with the code page table Wine ships.
struct Override {
    std::uint16_t unit;
    std::uint16_t code;
};
constexpr Override kWindowsOverrides[] = {
    {0x0080, 0x80}, {0x00A1, 0x21}, {0x00A6, 0x7C}, {0x00A9, 0x63}, {0x00AA, 0x61}, {0x00AB, 0x81E1},
    {0x00AD, 0x2D}, {0x00AE, 0x52}, {0x00AF, 0x8150}, {0x00B2, 0x32}, {0x00B3, 0x33}, {0x00B5, 0x83CA},
    {0x00B7, 0x8145}, {0x00B8, 0x8143}, {0x00B9, 0x31}, {0x00BA, 0x6F}, {0x00BB, 0x81E2}, {0x00C0, 0x41},
    {0x00C1, 0x41}, {0x00C2, 0x41}, {0x00C3, 0x41}, {0x00C4, 0x41}, {0x00C5, 0x41}, {0x00C6, 0x41},
    {0x00C7, 0x43}, {0x00C8, 0x45}, {0x00C9, 0x45}, {0x00CA, 0x45}, {0x00CB, 0x45}, {0x00CC, 0x49},
    {0x00CD, 0x49}, {0x00CE, 0x49}, {0x00CF, 0x49}, {0x00D0, 0x44}, {0x00D1, 0x4E}, {0x00D2, 0x4F},
    {0x00D3, 0x4F}, {0x00D4, 0x4F}, {0x00D5, 0x4F}, {0x00D6, 0x4F}, {0x00D8, 0x4F}, {0x00D9, 0x55},
    {0x00DA, 0x55}, {0x00DB, 0x55}, {0x00DC, 0x55}, {0x00DD, 0x59}, {0x00DE, 0x54}, {0x00DF, 0x73},
    {0x00E0, 0x61}, {0x00E1, 0x61}, {0x00E2, 0x61}, {0x00E3, 0x61}, {0x00E4, 0x61}, {0x00E5, 0x61},
    {0x00E6, 0x61}, {0x00E7, 0x63}, {0x00E8, 0x65}, {0x00E9, 0x65}, {0x00EA, 0x65}, {0x00EB, 0x65},
    {0x00EC, 0x69}, {0x00ED, 0x69}, {0x00EE, 0x69}, {0x00EF, 0x69}, {0x00F0, 0x64}, {0x00F1, 0x6E},
    {0x00F2, 0x6F}, {0x00F3, 0x6F}, {0x00F4, 0x6F}, {0x00F5, 0x6F}, {0x00F6, 0x6F}, {0x00F8, 0x6F},
    {0x00F9, 0x75}, {0x00FA, 0x75}, {0x00FB, 0x75}, {0x00FC, 0x75}, {0x00FD, 0x79}, {0x00FE, 0x74},
    {0x00FF, 0x79}, {0x2014, 0x3F}, {0x2016, 0x3F}, {0x203E, 0x3F}, {0x2212, 0x3F}, {0x301C, 0x3F},
    {0x3094, 0x8394}, {0xF8F0, 0xA0}, {0xF8F1, 0xFD}, {0xF8F2, 0xFE}, {0xF8F3, 0xFF}
};

const Override* FindOverride(std::uint16_t unit) {
    const auto* end = std::end(kWindowsOverrides);
    const auto* it = std::lower_bound(std::begin(kWindowsOverrides), end, unit,
                                      [](const Override& o, std::uint16_t u) { return o.unit < u; });
    return it != end && it->unit == unit ? it : nullptr;
}

// A unit code page 932 lacks becomes '?' (whole units only reach iconv, so
// an input cut short cannot happen).
std::size_t QuestionMark(std::string_view, std::string& out) {
    out.push_back('?');
    return 2;
}

// The UTF-8 of the unit Windows decodes a single byte to where the C
// library's CP932 refuses it (U+0080, U+F8F0-U+F8F3: the reverse of the
// overrides above); nothing for every other byte.
const char* WindowsOnlySingleByte(unsigned char byte) {
    switch (byte) {
    case 0x80: return "\xC2\x80";
    case 0xA0: return "\xEF\xA3\xB0";
    case 0xFD: return "\xEF\xA3\xB1";
    case 0xFE: return "\xEF\xA3\xB2";
    case 0xFF: return "\xEF\xA3\xB3";
    default: return nullptr;
    }
}

// UTF-8 as UTF-16LE bytes; nothing when it is not UTF-8.
std::optional<std::string> Utf16Of(std::string_view utf8) {
    thread_local const IconvConverter converter("UTF-16LE", "UTF-8");
    return converter.Convert(utf8);
}

// The C library's Unicode case table, whatever the process's locale. A
// machine without C.UTF-8 is broken: this fails rather than key names by
// ASCII alone, which would make names Windows takes for one look like two.
locale_t UnicodeLocale() {
    static const locale_t locale = [] {
        const locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        if (made == static_cast<locale_t>(nullptr)) throw std::runtime_error("the C.UTF-8 locale is not available");
        return made;
    }();
    return locale;
}

}  // namespace

std::string Utf16ToCp932(std::string_view utf16le) {
    const std::size_t units = utf16le.size() / 2;
    std::string out;
    out.reserve(2 * units);
    if (units == 0) return out;
    // Opened once a thread: opening costs more than converting a version text.
    thread_local const IconvConverter converter("CP932", "UTF-16LE");
    // Runs of ordinary units go to iconv. Each surrogate unit, paired or not,
    // becomes '?' on its own, as code page 932 has no character outside the
    // Basic Multilingual Plane and Windows converts unit by unit; a unit
    // where Windows differs from the C library takes Windows's code.
    std::size_t runStart = 0;
    for (std::size_t i = 0; i <= units; ++i) {
        const std::uint16_t unit = i < units ? UnitAt(utf16le, i) : 0;
        const bool surrogate = i < units && (unit & 0xF800) == 0xD800;
        const Override* override = i < units && !surrogate ? FindOverride(unit) : nullptr;
        if (i < units && !surrogate && !override) continue;
        out += *converter.Convert(utf16le.substr(2 * runStart, 2 * (i - runStart)), QuestionMark);
        if (surrogate) out.push_back('?');
        if (override) {
            if (override->code > 0xFF) out.push_back(static_cast<char>(override->code >> 8));
            out.push_back(static_cast<char>(override->code & 0xFF));
        }
        runStart = i + 1;
    }
    return out;
}

std::string WindowsAnsiBytes(std::string_view utf8) {
    const std::optional<std::string> units = Utf16Of(utf8);
    return units ? Utf16ToCp932(*units) : std::string(utf8);
}

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
    thread_local const IconvConverter converter("UTF-8", "CP932");
    // Runs of bytes the C library decodes go to iconv; the single bytes only
    // Windows decodes go in between.
    std::string out;
    std::size_t runStart = 0;
    for (std::size_t pos = 0;;) {
        const bool end = pos >= cp932.size();
        const std::size_t length = end ? 0 : CharLength(cp932, pos);
        const char* special =
            end || length == 2 ? nullptr : WindowsOnlySingleByte(static_cast<unsigned char>(cp932[pos]));
        if (!end && special == nullptr) {
            pos += length;
            continue;
        }
        const std::optional<std::string> run = converter.Convert(cp932.substr(runStart, pos - runStart));
        if (!run) return std::nullopt;
        out += *run;
        if (end) return out;
        out += special;
        runStart = ++pos;
    }
}

std::optional<std::string> NameInCp932(std::string_view utf8) {
    const std::optional<std::string> units = Utf16Of(utf8);
    if (!units) return std::nullopt;
    std::string bytes = Utf16ToCp932(*units);
    if (Cp932ToUtf8(bytes) != utf8) return std::nullopt;
    return bytes;
}

NameUnits UnitsOfName(std::string_view utf8) {
    NameUnits name;
    const std::optional<std::string> bytes = Utf16Of(utf8);
    if (!bytes) {
        for (const char c : utf8) name.units.push_back(static_cast<unsigned char>(c));
        name.caseKey = name.units;
        return name;
    }
    name.units.reserve(bytes->size() / 2);
    for (std::size_t i = 0; i < bytes->size() / 2; ++i) name.units.push_back(UnitAt(*bytes, i));
    name.caseKey = name.units;
    const locale_t locale = UnicodeLocale();
    for (char16_t& unit : name.caseKey) {
        if ((unit & 0xF800) == 0xD800) continue;  // halves of a pair stay as they are
        const wint_t upper = towupper_l(unit, locale);
        if (upper <= 0xFFFF) unit = static_cast<char16_t>(upper);
    }
    return name;
}

std::u16string CaseKey(std::string_view utf8) { return UnitsOfName(utf8).caseKey; }

}  // namespace updater::native
