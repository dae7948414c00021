#include "kit/preview/preview_world.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "kit/preview/listing.h"
#include "kit/preview/path_resolver.h"
#include "native/file_source.h"
#include "native/pe_version.h"
#include "rules/cp932.h"
#include "rules/path.h"
#include "rules/text.h"
#include "seam/files.h"
#include "seam/message_box.h"

namespace updater::preview {

namespace {

// The preview the seam's functions answer for, while it lives.
PreviewWorld* current = nullptr;

}  // namespace

std::string SavedFile::Bytes() const { return TextFileBytes(lines); }

struct PreviewWorld::State {
    State(PreviewSetup given, std::function<void(std::size_t)> onListed)
        : setup(std::move(given)),
          paths(setup.sourceRoot, setup.stagedFolder, setup.rootDir, setup.installedFolder),
          progress(std::move(onListed)) {}

    PreviewSetup setup;
    std::string documentsKey;  // the upper-cased pretend folders
    std::string logFolderKey;
    std::vector<RecordedCopy> copies;
    std::vector<SavedFile> savedFiles;
    std::vector<RecordedBox> boxes;
    PathResolver paths;
    std::unordered_map<std::string, FolderListing> listings;  // by upper-cased folder
    std::function<void(std::size_t)> progress;
    std::size_t listed = 0;
};

PreviewWorld::PreviewWorld(PreviewSetup setup, std::function<void(std::size_t)> progress) {
    if (current != nullptr) throw std::logic_error("one preview at a time");
    state_ = std::make_unique<State>(std::move(setup), std::move(progress));
    current = this;
    state_->documentsKey = UpperCaseAscii(kDocumentsFolder);
    if (!state_->setup.logFolder.empty())
        state_->logFolderKey = UpperCaseAscii(JoinPath(state_->documentsKey, state_->setup.logFolder));
}

PreviewWorld::~PreviewWorld() { current = nullptr; }

PreviewWorld& PreviewWorld::Current() {
    if (current == nullptr) throw std::logic_error("the preview seam is used outside a preview");
    return *current;
}

const PreviewSetup& PreviewWorld::setup() const { return state_->setup; }
const std::vector<RecordedCopy>& PreviewWorld::copies() const { return state_->copies; }
const std::vector<SavedFile>& PreviewWorld::savedFiles() const { return state_->savedFiles; }
const std::vector<RecordedBox>& PreviewWorld::boxes() const { return state_->boxes; }

std::optional<std::filesystem::path> PreviewWorld::LinuxPath(const std::string& windowsPath) const {
    return state_->paths.LinuxPath(windowsPath);
}

bool PreviewWorld::IsPretendFolder(const std::string& path) const {
    const std::string& documentsKey = state_->documentsKey;
    const std::string& logFolderKey = state_->logFolderKey;
    // Without its trailing separators the path is between these lengths: a
    // path of neither folder's length is neither, found without a copy.
    const std::size_t longest = path.size();
    const std::size_t shortest = path.find_last_not_of('\\') + 1;  // 0 when all are separators
    const auto fits = [&](const std::string& key) {
        return !key.empty() && key.size() >= shortest && key.size() <= longest;
    };
    if (!fits(documentsKey) && !fits(logFolderKey)) return false;
    const std::string upper = UpperCaseAscii(WithoutTrailingSeparators(path));
    return upper == documentsKey || (!logFolderKey.empty() && upper == logFolderKey);
}

FolderListing PreviewWorld::List(const std::string& folder) {
    // Listed once: the logic and the preview's own walk see the same listing.
    const std::string key = UpperCaseAscii(folder);
    const auto cached = state_->listings.find(key);
    if (cached != state_->listings.end()) return cached->second;
    // A pretend folder is listed empty.
    FolderListing listing = IsPretendFolder(folder) ? FolderListing() : ReadFolder(folder, state_->paths);
    state_->listed += listing.entries.size();
    if (state_->progress) state_->progress(state_->listed);
    return state_->listings.emplace(key, std::move(listing)).first->second;
}

EntryKind PreviewWorld::Kind(const std::string& path) const {
    if (IsPretendFolder(path)) return EntryKind::kFolder;
    PathResolver::Node* node = state_->paths.Find(path);
    if (node == nullptr) return EntryKind::kMissing;
    const PathResolver::Node& status = state_->paths.Stat(*node);
    if (!status.exists) return EntryKind::kMissing;
    return status.folder ? EntryKind::kFolder : EntryKind::kFile;
}

namespace {

// True when `node` is a file whose local time stamp has a DOS date.
bool IsDatedFile(PathResolver& paths, PathResolver::Node* node) {
    if (node == nullptr) return false;
    PathResolver::Node& status = paths.Stat(*node);
    if (!status.exists || status.folder) return false;
    if (!status.dosDate) {
        // Windows counts a file whose local time stamp has no DOS date as none.
        const std::time_t modified = static_cast<std::time_t>(status.modified);
        std::tm local{};
        status.dosDate = localtime_r(&modified, &local) != nullptr && local.tm_year + 1900 >= 1980 &&
                         local.tm_year + 1900 <= 2107;
    }
    return *status.dosDate;
}

}  // namespace

bool PreviewWorld::IsFile(const std::string& path) const {
    return IsDatedFile(state_->paths, state_->paths.Find(path));
}

bool PreviewWorld::WasFile(const std::string& path) const {
    return IsDatedFile(state_->paths, state_->paths.MapUnder(path).node);
}

std::optional<std::string> PreviewWorld::FileVersion(const std::string& path) {
    PathResolver& paths = state_->paths;
    PathResolver::Node* node = paths.Find(path);
    if (node == nullptr) return std::nullopt;
    if (!node->versionRead) {
        node->versionRead = true;
        const PathResolver::Node& status = paths.Stat(*node);
        if (status.exists && !status.folder) {
            const int folder = node->parent != nullptr ? paths.FolderDescriptor(*node->parent) : -1;
            native::FileSource file(folder, node->path.c_str() + node->nameAt, node->path.c_str(), status.size);
            node->version = native::ReadJapaneseFileVersion(file);
        }
    }
    return node->version;
}

bool PreviewWorld::Copy(const std::string& source, const std::string& destination) {
    // A source that is no file cannot be copied, as on Windows.
    if (!IsFile(source) || HasLinkOnTheWay(destination)) {
        state_->copies.push_back({source, destination, false});
        return false;
    }
    state_->copies.push_back({source, destination});
    state_->paths.Redirect(source, destination);
    return true;
}

bool PreviewWorld::HasLinkOnTheWay(const std::string& destination) const {
    const std::string root = UpperCaseAscii(JoinPath(state_->setup.rootDir, ""));
    std::string folder = FolderOfPath(destination);
    // Each step is shorter, and a drive's root folder is its own folder.
    while (folder.size() > root.size() && UpperCaseAscii(JoinPath(folder, "")) != root) {
        const std::optional<std::filesystem::path> onDisk = state_->paths.LinuxPath(folder);
        std::error_code error;
        if (onDisk && std::filesystem::is_symlink(*onDisk, error)) return true;
        folder = FolderOfPath(folder);
    }
    return false;
}

void PreviewWorld::Save(const std::string& path, const TextList& lines) {
    state_->savedFiles.push_back({path, lines});
}

void PreviewWorld::Box(DialogKind kind, const std::string& text) { state_->boxes.push_back({kind, text}); }

}  // namespace updater::preview
