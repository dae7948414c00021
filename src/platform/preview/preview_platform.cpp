#include "platform/preview/preview_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <ctime>
#include <memory>
#include <system_error>

#include "host/cp932_codec.h"
#include "host/pe_version.h"
#include "platform/progress_window.h"
#include "text/cp932.h"
#include "text/path.h"
#include "text/text.h"
#include "text/texts.h"

namespace updater {

namespace preview {

namespace {

// The ANSI calls' path limit, terminating NUL included.
constexpr std::size_t kMaxPath = 260;

// The codec's units and case key of a name, as the listing orders them.
ListingKey KeyOf(const std::string& utf8) {
    host::NameUnits name = host::UnitsOfName(utf8);
    return {std::move(name.caseKey), std::move(name.units)};
}

// A file read only where the version reader asks, through one descriptor
// (opened at the first read, closed with the source). The first 4 KiB are
// read at once and kept: they hold the headers and, in a small DLL, the
// resource directories and version block too, so most files cost one read.
class FileSource final : public host::ByteSource {
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
            file_ = host::UniqueFd(folder_ >= 0 ? openat(folder_, name_, O_RDONLY | O_CLOEXEC)
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
    host::UniqueFd file_;
    bool openFailed_ = false;
    bool headRead_ = false;
    std::size_t headLength_ = 0;
    std::array<char, 4096> head_;
};

// The names of a path below a root, split at "\" (never the second byte of
// a double-byte character); empty names dropped.
std::vector<std::string> SplitNames(const std::string& rest) {
    std::vector<std::string> names;
    std::string current;
    for (std::size_t pos = 0; pos < rest.size();) {
        const std::size_t length = CharLength(rest, pos);
        if (length == 1 && rest[pos] == '\\') {
            if (!current.empty()) names.push_back(std::move(current));
            current.clear();
        } else {
            current.append(rest, pos, length);
        }
        pos += length;
    }
    if (!current.empty()) names.push_back(std::move(current));
    return names;
}

bool StartsWithFolder(const std::string& upperPath, const std::string& upperRoot) {
    return upperPath.compare(0, upperRoot.size(), upperRoot) == 0 &&
           (upperPath.size() == upperRoot.size() || upperPath[upperRoot.size()] == '\\');
}

// A Linux path with a name added, as std::filesystem::path's "/" adds it: a
// separator only after a path that does not already end in one.
std::string Join(const std::string& folder, const std::string& name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    return path;
}

// A name taken from a Windows path as it may be spelled on Linux: nothing
// for a name without an exact UTF-8 spelling, "." and "..", and one that holds "/".
std::optional<std::string> LinuxName(const std::string& cp932) {
    std::optional<std::string> utf8 = host::Cp932ToUtf8(cp932);
    if (!utf8 || *utf8 == "." || *utf8 == ".." || utf8->find('/') != std::string::npos) return std::nullopt;
    return utf8;
}

// A directory stream, closed with it.
struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

}  // namespace

bool ListsBefore(const std::string& a, const std::string& b) { return KeyOf(a) < KeyOf(b); }

std::string SavedFile::Bytes() const { return TextFileBytes(lines); }

namespace {

// The preview the seam's functions answer for, while it lives.
PreviewWorld* current = nullptr;

}  // namespace

PreviewWorld::PreviewWorld(PreviewSetup setup, std::function<void(std::size_t)> progress)
    : setup_(std::move(setup)), progress_(std::move(progress)) {
    if (current != nullptr) throw std::logic_error("one preview at a time");
    current = this;
    sourceKey_ = UpperCaseAscii(WithoutTrailingSeparators(setup_.sourceRoot));
    targetKey_ = UpperCaseAscii(WithoutTrailingSeparators(setup_.rootDir));
    documentsKey_ = UpperCaseAscii(kDocumentsFolder);
    if (!setup_.logFolder.empty()) logFolderKey_ = UpperCaseAscii(JoinPath(documentsKey_, setup_.logFolder));
}

PreviewWorld::~PreviewWorld() { current = nullptr; }

PreviewWorld& PreviewWorld::Current() {
    if (current == nullptr) throw std::logic_error("the preview seam is used outside a preview");
    return *current;
}

PreviewWorld::Node& PreviewWorld::NodeOf(std::string linuxPath, const Node* folder) const {
    const auto known = nodes_.find(linuxPath);
    if (known != nodes_.end()) return known->second;
    Node node;
    node.path = linuxPath;
    if (folder != nullptr) {
        node.parent = folder;
        node.nameAt = Join(folder->path, "").size();
    }
    return nodes_.emplace(std::move(linuxPath), std::move(node)).first->second;
}

int PreviewWorld::FolderDescriptor(const Node& folder) const {
    for (const OpenFolder& kept : openFolders_)
        if (kept.folder == &folder) return kept.fd.get();
    // The oldest gives way; a folder that cannot be opened is kept as -1 too.
    OpenFolder& slot = openFolders_[nextOpenFolder_];
    nextOpenFolder_ = (nextOpenFolder_ + 1) % openFolders_.size();
    slot.folder = &folder;
    slot.fd = host::UniqueFd(open(folder.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return slot.fd.get();
}

const PreviewWorld::Mapping& PreviewWorld::MapUnder(const std::string& windowsPath) const {
    const auto cached = mapped_.find(windowsPath);
    if (cached != mapped_.end()) return cached->second;
    const Mapping mapping = Resolve(windowsPath);
    // Resolve may have added entries; references to them stay valid.
    return mapped_.emplace(windowsPath, mapping).first->second;
}

// The name `utf8Name` in the folder `folder` leads to, as a Windows file
// system finds it: the exact name when the folder holds it, else one that
// differs only in letter case; once a name is not found, the rest are taken
// as they are.
PreviewWorld::Mapping PreviewWorld::Below(const Mapping& folder, const std::string& utf8Name) const {
    const Node* parent = folder.node;
    if (folder.found) {
        const FolderNames& inside = NamesIn(parent->path);
        if (inside.exact.count(utf8Name)) return {&NodeOf(Join(parent->path, utf8Name), parent), true};
        const auto match = inside.byUpperKey.find(KeyOf(utf8Name).upper);
        if (match != inside.byUpperKey.end()) return {&NodeOf(Join(parent->path, match->second), parent), true};
    }
    return {&NodeOf(Join(parent->path, utf8Name), parent), false};
}

PreviewWorld::Mapping PreviewWorld::Resolve(const std::string& windowsPath) const {
    const std::string upper = UpperCaseAscii(windowsPath);
    // The longer root first: one folder may lie inside the other.
    const std::pair<const std::string*, const std::filesystem::path*> roots[2] = {
        {&sourceKey_, &setup_.stagedFolder}, {&targetKey_, &setup_.installedFolder}};
    const bool targetFirst = targetKey_.size() > sourceKey_.size();
    for (int i = 0; i < 2; ++i) {
        const auto& [key, folder] = roots[targetFirst ? 1 - i : i];
        if (key->empty() || !StartsWithFolder(upper, *key)) continue;
        // The last "\" (never the second byte of a double-byte character).
        std::size_t lastSeparator = std::string::npos;
        for (std::size_t pos = key->size(); pos < windowsPath.size();) {
            const std::size_t length = CharLength(windowsPath, pos);
            if (length == 1 && windowsPath[pos] == '\\') lastSeparator = pos;
            pos += length;
        }
        if (lastSeparator != std::string::npos && lastSeparator + 1 < windowsPath.size()) {
            // A name below a folder: the folder's mapping (made once) and
            // that one name. The folder lies under the same root, and its
            // names are this path's names but the last.
            const Mapping& parent = MapUnder(windowsPath.substr(0, lastSeparator));
            if (parent.node == nullptr) return {};
            const std::optional<std::string> name = LinuxName(windowsPath.substr(lastSeparator + 1));
            if (!name) return {};
            return Below(parent, *name);
        }
        // The root itself, or a path ending in "\": name by name.
        std::vector<std::string> names;
        for (const std::string& name : SplitNames(windowsPath.substr(key->size()))) {
            std::optional<std::string> utf8 = LinuxName(name);
            if (!utf8) return {};
            names.push_back(std::move(*utf8));
        }
        Mapping mapping{&NodeOf(folder->string()), true};
        for (const std::string& name : names) mapping = Below(mapping, name);
        return mapping;
    }
    return {};
}

const PreviewWorld::FolderRead& PreviewWorld::Read(const std::string& folder) const {
    const auto cached = folderReads_.find(folder);
    if (cached != folderReads_.end()) return cached->second;
    FolderRead read;
    const Dir dir(opendir(folder.c_str()));
    if (!dir) {
        read.error = errno;
    } else {
        for (;;) {
            errno = 0;
            const dirent* entry = readdir(dir.get());
            if (entry == nullptr) {
                read.error = errno;
                break;
            }
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            read.entries.emplace_back(KeyOf(name), name);
        }
    }
    return folderReads_.emplace(folder, std::move(read)).first->second;
}

const PreviewWorld::FolderNames& PreviewWorld::NamesIn(const std::string& folder) const {
    const auto cached = folderNames_.find(folder);
    if (cached != folderNames_.end()) return cached->second;
    const FolderRead& read = Read(folder);
    // Of names that differ only in case, the one listed first.
    std::vector<const std::pair<ListingKey, std::string>*> sorted;
    sorted.reserve(read.entries.size());
    for (const auto& entry : read.entries) sorted.push_back(&entry);
    std::sort(sorted.begin(), sorted.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
    FolderNames names;
    for (const auto* entry : sorted) {
        names.byUpperKey.emplace(entry->first.upper, entry->second);
        names.exact.emplace(entry->second, true);
    }
    return folderNames_.emplace(folder, std::move(names)).first->second;
}

PreviewWorld::Node& PreviewWorld::Stat(Node& node) const {
    if (node.statted) return node;
    node.statted = true;
    struct stat info;
    const int folder = node.parent != nullptr ? FolderDescriptor(*node.parent) : -1;
    const int result = folder >= 0 ? fstatat(folder, node.path.c_str() + node.nameAt, &info, 0)
                                   : stat(node.path.c_str(), &info);
    if (result == 0) {
        node.exists = true;
        node.folder = S_ISDIR(info.st_mode);
        node.modified = static_cast<long long>(info.st_mtime);
        node.size = static_cast<std::uint64_t>(info.st_size);
    }
    return node;
}

PreviewWorld::Node* PreviewWorld::Find(const std::string& windowsPath) const {
    // The logic asks about one path several times in a row.
    if (lastFound_ && lastPath_ == windowsPath) return lastNode_;
    const auto copied = overlay_.empty() ? overlay_.end() : overlay_.find(UpperCaseAscii(windowsPath));
    Node* node = copied != overlay_.end() ? MapUnder(copied->second).node : MapUnder(windowsPath).node;
    lastFound_ = true;
    lastPath_ = windowsPath;
    lastNode_ = node;
    return node;
}

std::optional<std::filesystem::path> PreviewWorld::LinuxPath(const std::string& windowsPath) const {
    const Node* node = Find(windowsPath);
    if (node == nullptr) return std::nullopt;
    return std::filesystem::path(node->path);
}

bool PreviewWorld::IsPretendFolder(const std::string& path) const {
    // Without its trailing separators the path is between these lengths: a
    // path of neither folder's length is neither, found without a copy.
    const std::size_t longest = path.size();
    const std::size_t shortest = path.find_last_not_of('\\') + 1;  // 0 when all are separators
    const auto fits = [&](const std::string& key) {
        return !key.empty() && key.size() >= shortest && key.size() <= longest;
    };
    if (!fits(documentsKey_) && !fits(logFolderKey_)) return false;
    const std::string upper = UpperCaseAscii(WithoutTrailingSeparators(path));
    return upper == documentsKey_ || (!logFolderKey_.empty() && upper == logFolderKey_);
}

FolderListing PreviewWorld::List(const std::string& folder) {
    // Listed once: the logic and the preview's own walk see the same listing.
    const std::string key = UpperCaseAscii(folder);
    const auto cached = listings_.find(key);
    if (cached != listings_.end()) return cached->second;
    FolderListing listing = ReadFolder(folder);
    listed_ += listing.entries.size();
    if (progress_) progress_(listed_);
    return listings_.emplace(key, std::move(listing)).first->second;
}

namespace {

// The entry `utf8` at the Linux path `path` as Windows would list it. Its
// code page 932 name is the codec's exact spelling (the rule update-kit
// check applies); a name without one keeps its own bytes. A link is a
// symbolic link or a file with more than one hard link.
FolderEntry EntryOf(const std::string& path, const std::string& utf8) {
    FolderEntry entry;
    const std::optional<std::string> name = host::NameInCp932(utf8);
    entry.name = name ? *name : utf8;
    entry.exactName = name.has_value();
    struct stat own;
    if (lstat(path.c_str(), &own) != 0) {
        entry.link = true;  // nothing vouches for it
        return entry;
    }
    struct stat target;
    entry.folder = S_ISDIR(own.st_mode) || (S_ISLNK(own.st_mode) && stat(path.c_str(), &target) == 0 &&
                                            S_ISDIR(target.st_mode));
    entry.link = S_ISLNK(own.st_mode) || (!S_ISDIR(own.st_mode) && own.st_nlink > 1);
    return entry;
}

}  // namespace

FolderListing PreviewWorld::ReadFolder(const std::string& folder) {
    FolderListing listing;
    if (IsPretendFolder(folder)) return listing;
    const Node* node = MapUnder(folder).node;
    struct stat info;
    if (node == nullptr || stat(node->path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        listing.ok = false;
        return listing;
    }
    const auto device = static_cast<std::uint64_t>(info.st_dev);
    listing.identity = {static_cast<std::uint32_t>(device ^ (device >> 32)), static_cast<std::uint64_t>(info.st_ino)};

    std::vector<std::pair<const ListingKey*, FolderEntry>> entries;
    const std::size_t prefix = JoinPath(folder, "").size();
    bool tooLong = false;
    const FolderRead& read = Read(node->path);
    for (const auto& [key, utf8] : read.entries) {
        FolderEntry entry = EntryOf(Join(node->path, utf8), utf8);
        // An entry no ANSI call can name: the folder is not listed whole.
        if (prefix + entry.name.size() >= kMaxPath) tooLong = true;
        entries.emplace_back(&key, std::move(entry));
    }
    if (read.error != 0 || tooLong) {
        listing.ok = false;
        return listing;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return *a.first < *b.first; });
    listing.entries.reserve(entries.size());
    for (auto& entry : entries) listing.entries.push_back(std::move(entry.second));
    return listing;
}

EntryKind PreviewWorld::Kind(const std::string& path) const {
    if (IsPretendFolder(path)) return EntryKind::Folder;
    Node* node = Find(path);
    if (node == nullptr) return EntryKind::Missing;
    const Node& status = Stat(*node);
    if (!status.exists) return EntryKind::Missing;
    return status.folder ? EntryKind::Folder : EntryKind::File;
}

bool PreviewWorld::IsFile(const std::string& path) const {
    Node* node = Find(path);
    if (node == nullptr) return false;
    Node& status = Stat(*node);
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

std::optional<std::string> PreviewWorld::FileVersion(const std::string& path) {
    Node* node = Find(path);
    if (node == nullptr) return std::nullopt;
    if (!node->versionRead) {
        node->versionRead = true;
        const Node& status = Stat(*node);
        if (status.exists && !status.folder) {
            const int folder = node->parent != nullptr ? FolderDescriptor(*node->parent) : -1;
            FileSource file(folder, node->path.c_str() + node->nameAt, node->path.c_str(), status.size);
            node->version = host::ReadJapaneseFileVersion(file);
        }
    }
    return node->version;
}

void PreviewWorld::Copy(const std::string& source, const std::string& destination) {
    copies_.push_back({source, destination});
    overlay_[UpperCaseAscii(destination)] = source;
    lastFound_ = false;  // the destination now names the source
}

}  // namespace preview

// ---- the seam ---------------------------------------------------------------

using preview::PreviewWorld;

namespace {

PreviewWorld& World() { return PreviewWorld::Current(); }

}  // namespace

std::string GetArgument(int n) {
    const TextList& arguments = World().setup().arguments;
    return n >= 1 && static_cast<std::size_t>(n) <= arguments.size() ? arguments[n - 1] : std::string();
}
std::string GetExecutablePath() { return JoinPath(World().setup().sourceRoot, World().setup().updaterName); }
std::optional<std::string> GetCurrentFolder() { return preview::kDocumentsFolder; }
bool SetCurrentFolder(const std::string& path) { return World().Kind(path) == EntryKind::Folder; }
std::string UpperCaseAnsi(const std::string& text) { return UpperCaseAscii(text); }

std::optional<std::string> GetSpecialFolder(SpecialFolder) { return preview::kDocumentsFolder; }

// Every key holds the product's RootDir, and nothing else.
std::optional<std::string> ReadRegistryString(const std::string&, const std::string& name) {
    if (name != texts::kRootDirValue) return std::nullopt;
    return World().setup().rootDir;
}

EntryKind GetEntryKind(const std::string& path) { return World().Kind(path); }
bool FileExists(const std::string& path) { return World().IsFile(path); }
FolderListing ListFolder(const std::string& folder) { return World().List(folder); }

void PrepareVersionReading() {}

std::optional<std::string> ReadJapaneseFileVersion(const std::string& path) { return World().FileVersion(path); }

bool CopyFileOver(const std::string& source, const std::string& destination) {
    World().Copy(source, destination);
    return true;
}

std::optional<std::string> FullPathName(const std::string& path) {
    std::string full = CollapseDotSegments(path);
    if (full.empty()) return std::nullopt;
    return full;
}

bool SaveTextFile(const std::string& parent, const std::string& folderName, const std::string& fileName,
                  const TextList& lines) {
    const std::string folder = JoinPath(parent, folderName);
    if (World().Kind(folder) != EntryKind::Folder) return false;
    World().Save(JoinPath(folder, fileName), lines);
    return true;
}

void ShowMessageBox(DialogKind kind, const std::string& text) { World().Box(kind, text); }

void ProcessPendingMessages() {}

struct ProgressWindowHandle {};

void ProgressWindowDestroyer::operator()(ProgressWindowHandle* window) const {
    std::default_delete<ProgressWindowHandle>()(window);
}

ProgressWindow CreateProgressWindow() { return ProgressWindow(std::make_unique<ProgressWindowHandle>().release()); }
void SetProgressText(ProgressWindow&, const std::string&) {}
void ShowProgressWindow(ProgressWindow&) {}
void DestroyProgressWindow(ProgressWindow& window) { window.reset(); }

}  // namespace updater
