// Where a Windows path of the preview leads on Linux. Two Windows folders
// stand for two Linux folders: the staged update's folder and the installed
// product's folder. Windows paths below them are code page 932 texts; names
// on disk are UTF-8 and are converted by the native layer's codec, exactly.
// Paths are looked up as Windows does: the exact name first, then a name
// that differs only in letter case. Nothing on disk changes during a
// preview: what was looked up once is kept.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kit/preview/listing.h"
#include "native/unique_fd.h"

namespace updater::preview {

// A Linux path with a name added, as std::filesystem::path's "/" adds it: a
// separator only after a path that does not already end in one.
std::string JoinLinuxPath(const std::string& folder, const std::string& name);

class PathResolver {
public:
    // What is known of one Linux path.
    struct Node {
        std::string path;
        const Node* parent = nullptr;  // the folder it was found in, if any
        std::size_t nameAt = 0;        // where its name starts in `path`, when it has a parent
        bool statted = false;
        bool exists = false;
        bool folder = false;
        long long modified = 0;  // seconds since 1970
        std::uint64_t size = 0;
        std::optional<bool> dosDate;  // whether the local time stamp has a DOS date, once asked
        bool versionRead = false;
        std::optional<std::string> version;
    };
    // Where a Windows path leads.
    struct Mapping {
        Node* node = nullptr;  // nothing: outside both folders, or not spelled on Linux
        bool found = false;    // every name was found on disk: a name below it is looked up in it
    };
    // One Linux folder as read: its names with their listing keys, in the
    // order read, up to an error.
    struct FolderRead {
        int error = 0;  // errno of opening or reading it; 0 when read whole
        std::vector<std::pair<ListingKey, std::string>> entries;
    };

    // `sourceRoot` (Windows) stands for `stagedFolder` (Linux), `rootDir` for `installedFolder`.
    PathResolver(const std::string& sourceRoot, std::filesystem::path stagedFolder, const std::string& rootDir,
                 std::filesystem::path installedFolder);
    PathResolver(const PathResolver&) = delete;
    PathResolver& operator=(const PathResolver&) = delete;

    // The node a Windows path names now: a file already copied in this
    // preview names its source. Nothing when it lies outside both folders
    // or cannot be spelled on Linux.
    Node* Find(const std::string& windowsPath);
    // The node a Windows path leads to on disk, copies not counted.
    const Mapping& MapUnder(const std::string& windowsPath);
    // The Linux path Find names, if any.
    std::optional<std::filesystem::path> LinuxPath(const std::string& windowsPath);
    // From now on `destination` names what `source` names.
    void Redirect(const std::string& source, const std::string& destination);

    // The node with its stat answers, asked once.
    Node& Stat(Node& node);
    // A descriptor of `folder` (O_PATH), from a few kept open, or -1 when it
    // cannot be opened.
    int FolderDescriptor(const Node& folder);
    // The Linux folder `folder` as read, once.
    const FolderRead& Read(const std::string& folder);

private:
    struct FolderNames {
        std::unordered_map<std::string, bool> exact;                // the names as they are
        std::unordered_map<std::u16string, std::string> byUpperKey;  // the first of each upper-cased key
    };

    Mapping Resolve(const std::string& windowsPath);
    Mapping Below(const Mapping& folder, const std::string& utf8Name);
    Node& NodeOf(std::string linuxPath, const Node* folder = nullptr);
    const FolderNames& NamesIn(const std::string& folder);

    std::filesystem::path stagedFolder_;
    std::filesystem::path installedFolder_;
    std::string sourceKey_;  // upper-cased Windows roots without trailing "\"
    std::string targetKey_;
    std::unordered_map<std::string, std::string> overlay_;     // upper-cased destination -> source
    std::unordered_map<std::string, Node> nodes_;              // by Linux path
    std::unordered_map<std::string, Mapping> mapped_;          // by Windows path
    std::unordered_map<std::string, FolderRead> folderReads_;  // by Linux folder
    std::unordered_map<std::string, FolderNames> folderNames_;  // by Linux folder
    // Folders whose files are being looked at, kept open so that a file is
    // found by its name alone rather than by walking its whole path again.
    struct OpenFolder {
        const Node* folder = nullptr;
        native::UniqueFd fd;
    };
    std::array<OpenFolder, 4> openFolders_;
    std::size_t nextOpenFolder_ = 0;
    // The path Find was last asked about, and its answer.
    bool lastFound_ = false;
    std::string lastPath_;
    Node* lastNode_ = nullptr;
};

}  // namespace updater::preview
