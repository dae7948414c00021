// The in-memory Windows's answers to seam/version_info.h: the Japanese FileVersion of files.
#include "fakes/fake_world.h"
#include "rules/text.h"
#include "rules/texts.h"
#include "seam/errors.h"
#include "seam/version_info.h"

namespace updater {

using fake::FakeWindows;
using fake::World;

void PrepareVersionReading() {
    if (World().versionReadingFails())
        throw PlatformError(kLibraryLoadError, FormatText(texts::kCannotLoadLibrary, {"version.dll", "not found"}));
}

std::optional<std::string> ReadJapaneseFileVersion(const std::string& path) {
    const fake::FakeFile* file = World().FindFile(path);
    return file == nullptr ? std::nullopt : file->japaneseFileVersion;
}

}  // namespace updater
