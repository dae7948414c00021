// The seam (platform.h) over real files on Linux, for previewing an update:
// the update logic runs as it does on Windows, but every copy is only
// recorded and the log is captured instead of written.
//
// Two Windows folders stand for two Linux folders: the staged update's folder
// (where a pretend updater.exe lies) and the installed product's folder.
// Windows paths below them are code page 932 texts; names on disk are UTF-8
// and are converted by the native layer's codec, exactly (a name without an
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

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "seam/files.h"
#include "seam/message_box.h"

namespace updater::preview {

// The Windows documents folder the preview pretends to have.
inline constexpr char kDocumentsFolder[] = "C:\\Users\\Public\\Documents";

struct PreviewSetup {
    std::string sourceRoot;               // the Windows folder the staged folder stands for
    std::filesystem::path stagedFolder;   // on Linux
    std::string productKey;               // the one registry key the product is installed under
    std::string rootDir;                  // its RootDir (Windows); it records no Version
    std::filesystem::path installedFolder;  // on Linux
    std::string logFolder;                // a folder below the documents folder that exists
};

struct RecordedCopy {
    std::string source;
    std::string destination;
    bool done = true;  // false: the copy fails (a folder on the way is a link)
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

// The files, registry and screen one preview run sees: while it lives, the seam's functions answer for
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

    const PreviewSetup& setup() const;
    const std::vector<RecordedCopy>& copies() const;
    const std::vector<SavedFile>& savedFiles() const;
    const std::vector<RecordedBox>& boxes() const;

    // The Linux path a Windows path names now, or nothing when it lies
    // outside both folders or cannot be spelled on Linux. A file already
    // copied in this preview names its source.
    std::optional<std::filesystem::path> LinuxPath(const std::string& windowsPath) const;

    // ---- what the seam's functions do
    FolderListing List(const std::string& folder);
    EntryKind Kind(const std::string& path) const;
    bool IsFile(const std::string& path) const;
    // IsFile as the folders were before this preview's recorded copies.
    bool WasFile(const std::string& path) const;
    std::optional<std::string> FileVersion(const std::string& path);
    // Records the copy; false when it fails as on Windows: a folder between
    // the product's folder and the destination is a link.
    bool Copy(const std::string& source, const std::string& destination);
    void Save(const std::string& path, const TextList& lines);
    void Box(DialogKind kind, const std::string& text);
    bool IsPretendFolder(const std::string& path) const;
    // True when a folder between the product's folder and `destination`
    // is a symbolic link on disk.
    bool HasLinkOnTheWay(const std::string& destination) const;

private:
    // What the run records and what it has looked up, kept out of sight.
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace updater::preview
