// A file's size and SHA-256, read through a handle already open.
#pragma once

#include <windows.h>

#include <optional>

#include "platform/platform.h"

namespace updater::win32 {

// The bytes of the open `file` from its start; nothing when reading fails.
std::optional<FileDigest> DigestOfFile(HANDLE file);

}  // namespace updater::win32
