#include "kit/preview/path_resolver.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "native/cp932_codec.h"
#include "rules/cp932.h"
#include "rules/path.h"
#include "rules/unique_resource.h"

namespace updater::preview {

namespace {

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

// A name taken from a Windows path as it may be spelled on Linux: nothing
// for a name without an exact UTF-8 spelling, "." and "..", and one that holds "/".
std::optional<std::string> LinuxName(const std::string& cp932) {
    std::optional<std::string> utf8 = native::Cp932ToUtf8(cp932);
    if (!utf8 || *utf8 == "." || *utf8 == ".." || utf8->find('/') != std::string::npos) return std::nullopt;
    return utf8;
}

// A directory stream, closed with it.
using Dir = UniquePointer<DIR, closedir>;

}  // namespace

std::string JoinLinuxPath(const std::string& folder, const std::string& name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    return path;
}

PathResolver::PathResolver(const std::string& sourceRoot, std::filesystem::path stagedFolder,
                           const std::string& rootDir, std::filesystem::path installedFolder)
    : stagedFolder_(std::move(stagedFolder)),
      installedFolder_(std::move(installedFolder)),
      sourceKey_(UpperCaseAscii(WithoutTrailingSeparators(sourceRoot))),
      targetKey_(UpperCaseAscii(WithoutTrailingSeparators(rootDir))) {}

PathResolver::Node& PathResolver::NodeOf(std::string linuxPath, const Node* folder) {
    const auto known = nodes_.find(linuxPath);
    if (known != nodes_.end()) return known->second;
    Node node;
    node.path = linuxPath;
    if (folder != nullptr) {
        node.parent = folder;
        node.nameAt = JoinLinuxPath(folder->path, "").size();
    }
    return nodes_.emplace(std::move(linuxPath), std::move(node)).first->second;
}

int PathResolver::FolderDescriptor(const Node& folder) {
    for (const OpenFolder& kept : openFolders_)
        if (kept.folder == &folder) return kept.fd.get();
    // The oldest gives way; a folder that cannot be opened is kept as -1 too.
    OpenFolder& slot = openFolders_[nextOpenFolder_];
    nextOpenFolder_ = (nextOpenFolder_ + 1) % openFolders_.size();
    slot.folder = &folder;
    slot.fd = native::UniqueFd(open(folder.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return slot.fd.get();
}

const PathResolver::Mapping& PathResolver::MapUnder(const std::string& windowsPath) {
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
PathResolver::Mapping PathResolver::Below(const Mapping& folder, const std::string& utf8Name) {
    const Node* parent = folder.node;
    if (folder.found) {
        const FolderNames& inside = NamesIn(parent->path);
        if (inside.exact.count(utf8Name)) return {&NodeOf(JoinLinuxPath(parent->path, utf8Name), parent), true};
        const auto match = inside.byUpperKey.find(KeyOf(utf8Name).upper);
        if (match != inside.byUpperKey.end())
            return {&NodeOf(JoinLinuxPath(parent->path, match->second), parent), true};
    }
    return {&NodeOf(JoinLinuxPath(parent->path, utf8Name), parent), false};
}

PathResolver::Mapping PathResolver::Resolve(const std::string& windowsPath) {
    const std::string upper = UpperCaseAscii(windowsPath);
    // The longer root first: one folder may lie inside the other.
    const std::pair<const std::string*, const std::filesystem::path*> roots[2] = {
        {&sourceKey_, &stagedFolder_}, {&targetKey_, &installedFolder_}};
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

const PathResolver::FolderRead& PathResolver::Read(const std::string& folder) {
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

const PathResolver::FolderNames& PathResolver::NamesIn(const std::string& folder) {
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

PathResolver::Node& PathResolver::Stat(Node& node) {
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

PathResolver::Node* PathResolver::Find(const std::string& windowsPath) {
    // The logic asks about one path several times in a row.
    if (lastFound_ && lastPath_ == windowsPath) return lastNode_;
    const auto copied = overlay_.empty() ? overlay_.end() : overlay_.find(UpperCaseAscii(windowsPath));
    Node* node = copied != overlay_.end() ? MapUnder(copied->second).node : MapUnder(windowsPath).node;
    lastFound_ = true;
    lastPath_ = windowsPath;
    lastNode_ = node;
    return node;
}

std::optional<std::filesystem::path> PathResolver::LinuxPath(const std::string& windowsPath) {
    const Node* node = Find(windowsPath);
    if (node == nullptr) return std::nullopt;
    return std::filesystem::path(node->path);
}

void PathResolver::Redirect(const std::string& source, const std::string& destination) {
    overlay_[UpperCaseAscii(destination)] = source;
    lastFound_ = false;  // the destination now names the source
}

}  // namespace updater::preview
