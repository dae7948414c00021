// Hashes through advapi32's CryptoAPI: a file's size and SHA-256, and a
// hash by the algorithm a signature names.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <optional>
#include <string>
#include <string_view>

#include "seam/files.h"

namespace updater::win32 {

// The bytes of the open `file` from its start; nothing when reading fails.
std::optional<FileDigest> DigestOfFile(HANDLE file);

// The size and SHA-256 of bytes already read; nothing when hashing fails.
std::optional<FileDigest> DigestOfBytes(const std::string& bytes);

// The raw hash of `bytes` by `algorithm`, or nothing.
std::optional<std::string> HashOf(ALG_ID algorithm, std::string_view bytes);

}  // namespace updater::win32
