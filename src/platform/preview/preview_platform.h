// The seam (platform.h) over real files on Linux, for previewing an update:
// the update logic runs as it does on Windows, but every copy is only
// recorded and the log is captured instead of written.
//
// Two Windows folders stand for two Linux folders: the staged update's folder
// (where a pretend updater.exe lies) and the installed product's folder.
// Windows paths below them are code page 932 texts; names on disk are UTF-8
// and are converted by the host layer's codec, exactly (a name without an
// exact code page 932 spelling is listed as such, as Windows could not name
// it either). Paths are looked up as Windows does: the exact
// name first, then a name that differs only in letter case. Folders are
// listed in the order Windows gives (case-insensitive, by upper-cased UTF-16
// units), with stat's (device, inode) as their identity, so that a link back
// into the payload is recognised. Version texts come from the portable PE
// reader. The registry answers the product's RootDir (and no Version), the
// documents folder and its log folder exist, boxes and the progress window
// are recorded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/unique_fd.h"
#include "platform/platform.h"

namespace updater::preview {

// The Windows documents folder the preview pretends to have.
inline constexpr char kDocumentsFolder[] = "C:\\Users\\Public\\Documents";

struct PreviewSetup {
    std::string sourceRoot;               // the Windows folder the staged folder stands for
    std::filesystem::path stagedFolder;   // on Linux
    std::string rootDir;                  // RootDir as the registry holds it (Windows)
    std::filesystem::path installedFolder;  // on Linux
    std::string updaterName = "updater.exe";
    TextList arguments;                   // the command line's arguments 1, 2, 3
    std::string logFolder;                // a folder below the documents folder that exists
};

struct RecordedCopy {
    std::string source;
    std::string destination;
};

struct SavedFile {
    std::string path;
    TextList lines;
    // The bytes the Windows layer writes: every line followed by CR LF.
    std::string Bytes() const;
};

struct RecordedBox {
    DialogKind kind;
    std::string text;
};

// A name's place in a Windows listing: its UTF-16 units upper-cased (as the
// file system's case table does, one unit at a time), then the units themselves.
struct ListingKey {
    std::u16string upper;
    std::u16string exact;
    bool operator<(const ListingKey& other) const {
        return upper != other.upper ? upper < other.upper : exact < other.exact;
    }
};

// One preview run's world: while it lives, the seam's functions answer for
// it (one at a time); nothing of it outlives it. `progress`, when given, is
// called with the count of entries listed so far, after each folder.
class PreviewWorld {
public:
    explicit PreviewWorld(PreviewSetup setup, std::function<void(std::size_t)> progress = nullptr);
    ~PreviewWorld();
    PreviewWorld(const PreviewWorld&) = delete;
    PreviewWorld& operator=(const PreviewWorld&) = delete;

    // The living preview; raises std::logic_error when there is none.
    static PreviewWorld& Current();

    const PreviewSetup& setup() const { return setup_; }
    const std::vector<RecordedCopy>& copies() const { return copies_; }
    const std::vector<SavedFile>& savedFiles() const { return savedFiles_; }
    const std::vector<RecordedBox>& boxes() const { return boxes_; }
    // Linux paths of names that have no exact code page 932 spelling.

    // The Linux path a Windows path names now, or nothing when it lies
    // outside both folders or cannot be spelled on Linux. A file already
    // copied in this preview names its source.
    std::optional<std::filesystem::path> LinuxPath(const std::string& windowsPath) const;

    // ---- what the seam's functions do
    FolderListing List(const std::string& folder);
    EntryKind Kind(const std::string& path) const;
    bool IsFile(const std::string& path) const;
    std::optional<std::string> FileVersion(const std::string& path);
    void Copy(const std::string& source, const std::string& destination);
    void Save(const std::string& path, const TextList& lines) { savedFiles_.push_back({path, lines}); }
    void Box(DialogKind kind, const std::string& text) { boxes_.push_back({kind, text}); }
    bool IsPretendFolder(const std::string& path) const;

private:
    // What is known of one Linux path. Nothing on disk changes during a
    // preview: what was looked up once is kept.
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
    struct FolderNames {
        std::unordered_map<std::string, bool> exact;                // the names as they are
        std::unordered_map<std::u16string, std::string> byUpperKey;  // the first of each upper-cased key
    };

    const Mapping& MapUnder(const std::string& windowsPath) const;
    Mapping Resolve(const std::string& windowsPath) const;
    Mapping Below(const Mapping& folder, const std::string& utf8Name) const;
    Node* Find(const std::string& windowsPath) const;
    Node& NodeOf(std::string linuxPath, const Node* folder = nullptr) const;
    // A descriptor of `folder` (O_PATH), from a few kept open, or -1 when it
    // cannot be opened.
    int FolderDescriptor(const Node& folder) const;
    Node& Stat(Node& node) const;
    const FolderRead& Read(const std::string& folder) const;
    const FolderNames& NamesIn(const std::string& folder) const;
    FolderListing ReadFolder(const std::string& folder);

    PreviewSetup setup_;
    std::string sourceKey_;  // upper-cased Windows roots without trailing "\"
    std::string targetKey_;
    std::string documentsKey_;  // the upper-cased pretend folders
    std::string logFolderKey_;
    std::vector<RecordedCopy> copies_;
    std::vector<SavedFile> savedFiles_;
    std::vector<RecordedBox> boxes_;
    std::unordered_map<std::string, std::string> overlay_;  // upper-cased destination -> source
    std::unordered_map<std::string, FolderListing> listings_;  // by upper-cased folder
    mutable std::unordered_map<std::string, Node> nodes_;              // by Linux path
    mutable std::unordered_map<std::string, Mapping> mapped_;          // by Windows path
    mutable std::unordered_map<std::string, FolderRead> folderReads_;  // by Linux folder
    mutable std::unordered_map<std::string, FolderNames> folderNames_;  // by Linux folder
    // Folders whose files are being looked at, kept open so that a file is
    // found by its name alone rather than by walking its whole path again.
    struct OpenFolder {
        const Node* folder = nullptr;
        host::UniqueFd fd;
    };
    mutable std::array<OpenFolder, 4> openFolders_;
    // The path Find was last asked about, and its answer.
    mutable bool lastFound_ = false;
    mutable std::string lastPath_;
    mutable Node* lastNode_ = nullptr;
    mutable std::size_t nextOpenFolder_ = 0;
    std::function<void(std::size_t)> progress_;
    std::size_t listed_ = 0;
};

// The order Windows lists a folder's names in: by their UTF-16 units
// upper-cased, then by the units themselves. Names are UTF-8.
bool ListsBefore(const std::string& a, const std::string& b);

}  // namespace updater::preview
