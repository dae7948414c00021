// Which names Windows addresses as themselves: a file or folder name that
// any path built from it reaches, and no other.
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

// What keeps the code page 932 name `name` from naming itself on Windows,
// or from being copied as itself; kNone when nothing does. A trail byte of a double-byte character is never
// taken for a character of its own ("ソ" ends in the byte of "\").
NameFault FaultOfName(const std::string& name);

}  // namespace updater
