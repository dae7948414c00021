// The shell's file copy, as the copy of a payload file makes it.
#pragma once

#include <string>

namespace updater::win32 {

// Copies `source` to `destination` (the new file's full name) with the
// shell's file operation, owned by the application window: silent, an
// existing file replaced without asking, missing folders made. False when
// the copy did not happen. The shell may show its own error dialog, unless
// `quiet`.
bool ShellCopyFile(const std::string& source, const std::string& destination, bool quiet);

}  // namespace updater::win32
