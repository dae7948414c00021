// Which names are safe to copy under: a file or folder name that every path
// built from it reaches on Windows, and no other file.
#pragma once

#include <string>

namespace updater {

// The name a new file is written under, beside the file it is to replace,
// until it is whole. Reserved: no payload file may carry it, so that no copy
// ever writes over another payload file's temporary name.
inline constexpr char kTemporaryCopyName[] = "~upd.tmp";

enum class NameFault {
    kNone,
    kForbiddenCharacter,   // a control character or one of \ / : * ? " < > |
    kTrailingBlankOrDot,   // dropped from every path: the name of another file
    kDeviceName,           // CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension
    kReservedName,         // kTemporaryCopyName, in any letter case
    kEmpty,
};

// What keeps the code page 932 name `name` from naming exactly the file it
// spells on Windows (a forbidden character, a trailing dot or blank that
// Windows strips, a device name), or from being copied under that name;
// kNone when nothing does. A trail byte of a double-byte character is never
// taken for a character of its own ("ソ" ends in the byte of "\").
NameFault FaultOfName(const std::string& name);

}  // namespace updater
