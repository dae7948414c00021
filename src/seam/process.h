// The running process: its own file, its current folder and the user's
// shell folders.
#pragma once

#include <optional>
#include <string>

namespace updater {

// The running executable's full path.
std::string GetExecutablePath();
// The current folder; nothing when it cannot be read.
std::optional<std::string> GetCurrentFolder();
bool SetCurrentFolder(const std::string& path);

enum class SpecialFolder { kDocuments, kApplicationData };

// The folder's path, never creating it; nothing when it cannot be
// determined. Never shows anything and never raises: the caller decides what
// a missing folder means.
std::optional<std::string> GetSpecialFolder(SpecialFolder folder);

}  // namespace updater
