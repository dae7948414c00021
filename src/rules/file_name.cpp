#include "rules/file_name.h"

#include <array>
#include <string_view>

#include "rules/cp932.h"

namespace updater {

namespace {

bool IsForbiddenCharacter(unsigned char c) {
    return c < 0x20 || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

// Windows takes a name for a device when the part before its first dot,
// without the blanks it ends in, is a device's name in any letter case.
bool IsDeviceName(const std::string& name) {
    std::string stem = UpperCaseAscii(name.substr(0, name.find('.')));
    stem.erase(stem.find_last_not_of(' ') + 1);
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const std::string_view device : kPlain)
        if (stem == device) return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

NameFault FaultOfName(const std::string& name) {
    if (name.empty()) return NameFault::kEmpty;
    for (std::size_t pos = 0; pos < name.size(); pos += CharLength(name, pos)) {
        if (CharLength(name, pos) == 1 && IsForbiddenCharacter(static_cast<unsigned char>(name[pos])))
            return NameFault::kForbiddenCharacter;
    }
    // The last byte ends a character: a double-byte character never ends in
    // a blank or a dot (trail bytes are 0x40 and above).
    if (name.back() == ' ' || name.back() == '.') return NameFault::kTrailingBlankOrDot;
    if (IsDeviceName(name)) return NameFault::kDeviceName;
    if (UpperCaseAscii(name) == UpperCaseAscii(kTemporaryCopyName)) return NameFault::kReservedName;
    return NameFault::kNone;
}

}  // namespace updater
