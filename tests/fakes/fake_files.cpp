// The in-memory Windows's answers to seam/files.h: entries, listings, full
// path names, small files read and the log written.
#include "fakes/fake_world.h"
#include "rules/path.h"
#include "rules/text.h"
#include "rules/texts.h"
#include "seam/errors.h"
#include "seam/files.h"

namespace updater {

using fake::FakeWindows;
using fake::World;

EntryKind GetEntryKind(const std::string& path) {
    if (World().EntryKindFails(path)) return EntryKind::kMissing;
    const FakeWindows::Entry* entry = World().FindEntry(path);
    if (entry == nullptr) return EntryKind::kMissing;
    return entry->folder ? EntryKind::kFolder : EntryKind::kFile;
}

bool FileExists(const std::string& path) {
    const fake::FakeFile* file = World().FindFile(path);
    return file != nullptr && file->year >= 1980 && file->year <= 2107;
}

FolderListing ListFolder(const std::string& folder) { return World().List(folder); }

std::optional<std::string> FullPathName(const std::string& path) {
    std::string full = World().FullPath(path);
    if (full.empty()) return std::nullopt;
    return full;
}

bool SaveTextFile(const std::string& parent, const std::string& folderName, const std::string& fileName,
                  const TextList& lines) {
    FakeWindows& world = World();
    const std::string folder = JoinPath(parent, folderName);
    if (!world.FolderExists(folder)) return false;
    if (world.saveShortWrite()) throw PlatformError(kStreamWriteError, texts::kStreamWriteError);
    fake::FakeFile file;
    file.content = TextFileBytes(lines);
    const std::string path = JoinPath(folder, fileName);
    world.AddFile(path, std::move(file));
    world.events.push_back("save " + path);
    return true;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
    const fake::FakeFile* file = World().FindFile(path);
    if (file == nullptr || file->content.size() > limit) return std::nullopt;
    return file->content;
}

}  // namespace updater
