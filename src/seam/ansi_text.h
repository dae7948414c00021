// Texts in the ANSI code page (932) as Windows converts and cases them.
#pragma once

#include <optional>
#include <string>

namespace updater {

// Letters upper-cased by the user's locale for the ANSI code page;
// double-byte characters are left as they are.
std::string UpperCaseAnsi(const std::string& text);

// A UTF-8 text in the ANSI code page (932) exactly: nothing when any
// character has no exact spelling there (no near matches, no "?").
std::optional<std::string> Utf8ToAnsiExact(const std::string& utf8);

}  // namespace updater
