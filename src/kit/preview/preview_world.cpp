#include "kit/preview/preview_world.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "kit/preview/listing.h"
#include "kit/preview/path_resolver.h"
#include "native/pe_version.h"
#include "native/unique_fd.h"
#include "rules/cp932.h"
#include "rules/path.h"
#include "rules/text.h"
#include "seam/files.h"
#include "seam/message_box.h"

namespace updater::preview {

namespace {

// A file read only where the version reader asks, through one descriptor
// (opened at the first read, closed with the source). The first 4 KiB are
// read at once and kept: they hold the headers and, in a small DLL, the
// resource directories and version block too, so most files cost one read.
class FileSource final : public native::ByteSource {
public:
    // The file `name` in the folder open as `folder`, or at `path` when `folder` is -1.
    FileSource(int folder, const char* name, const char* path, std::uint64_t size)
        : folder_(folder), name_(name), path_(path), size_(size) {}

    std::uint64_t Size() const override { return size_; }

    std::size_t Read(std::uint64_t offset, char* into, std::size_t count) override {
        if (!headRead_) {
            headRead_ = true;
            headLength_ = ReadAt(0, head_.data(), static_cast<std::size_t>(std::min<std::uint64_t>(head_.size(), size_)));
        }
        if (offset < headLength_ && headLength_ - offset >= count) {
            std::copy_n(head_.data() + offset, count, into);
            return count;
        }
        return ReadAt(offset, into, count);
    }

private:
    // Up to `count` bytes from `offset`: fewer at the end of the file, none
    // when it cannot be opened or read.
    std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t count) {
        if (file_.get() < 0 && !openFailed_) {
            file_ = native::UniqueFd(folder_ >= 0 ? openat(folder_, name_, O_RDONLY | O_CLOEXEC)
                                                : open(path_, O_RDONLY | O_CLOEXEC));
            openFailed_ = file_.get() < 0;
        }
        if (file_.get() < 0) return 0;
        std::size_t done = 0;
        while (done < count) {
            const ssize_t got = pread(file_.get(), into + done, count - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    int folder_;
    const char* name_;
    const char* path_;
    std::uint64_t size_;
    native::UniqueFd file_;
    bool openFailed_ = false;
    bool headRead_ = false;
    std::size_t headLength_ = 0;
    std::array<char, 4096> head_;
};

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
    if (IsPretendFolder(path)) return EntryKind::Folder;
    PathResolver::Node* node = state_->paths.Find(path);
    if (node == nullptr) return EntryKind::Missing;
    const PathResolver::Node& status = state_->paths.Stat(*node);
    if (!status.exists) return EntryKind::Missing;
    return status.folder ? EntryKind::Folder : EntryKind::File;
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
            FileSource file(folder, node->path.c_str() + node->nameAt, node->path.c_str(), status.size);
            node->version = native::ReadJapaneseFileVersion(file);
        }
    }
    return node->version;
}

bool PreviewWorld::Copy(const std::string& source, const std::string& destination) {
    if (HasLinkOnTheWay(destination)) {
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
