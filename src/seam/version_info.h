// Version resources of files.
#pragma once

#include <optional>
#include <string>

namespace updater {

// Makes ready what reading version texts needs; called once, before the
// first read. Raises PlatformError (kLibraryLoadError) when that cannot be
// done, since every file would then read as having no version.
void PrepareVersionReading();

// The FileVersion text of the file's Japanese (0411, code page 932) version
// table as stored, or nothing when the file has no such text or cannot be
// read. Never reads without what PrepareVersionReading makes ready.
std::optional<std::string> ReadJapaneseFileVersion(const std::string& path);

}  // namespace updater
