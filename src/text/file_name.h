// Which names Windows addresses as themselves: a file or folder name that
// any path built from it reaches, and no other.
#pragma once

#include <string>

namespace updater {

enum class NameFault {
    kNone,
    kForbiddenCharacter,   // a control character or one of \ / : * ? " < > |
    kTrailingBlankOrDot,   // dropped from every path: the name of another file
    kDeviceName,           // CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension
    kEmpty,
};

// What keeps the code page 932 name `name` from naming itself on Windows;
// kNone when nothing does. A trail byte of a double-byte character is never
// taken for a character of its own ("ソ" ends in the byte of "\").
NameFault FaultOfName(const std::string& name);

}  // namespace updater
