// The in-memory Windows's answers to seam/process.h: the running program's
// path, the current folder and the special folders.
#include "fakes/fake_world.h"
#include "rules/path.h"
#include "seam/process.h"

namespace updater {

using fake::FakeWindows;
using fake::World;

std::string GetExecutablePath() { return World().executablePath; }

std::optional<std::string> GetCurrentFolder() { return World().currentFolder; }

bool SetCurrentFolder(const std::string& path) {
    if (path.empty() || !World().FolderExists(path)) return false;
    World().currentFolder = path;
    World().events.push_back("cd " + path);
    return true;
}

std::optional<std::string> GetSpecialFolder(SpecialFolder folder) {
    std::string path = World().SpecialFolderPath(folder);
    if (path.empty()) return std::nullopt;
    return path;
}

}  // namespace updater
