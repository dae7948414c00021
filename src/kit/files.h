// The files of a staged folder as update-kit reads and writes them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace updater::kit {

struct FileBelow {
    std::filesystem::path file;
    std::string relative;  // below the root, "/"-separated, as on disk
    std::string windows;   // the same with "\" between names, as a manifest lists it
};

// The files below `root` (a link to a file counts as the file), in walk
// order. Throws std::filesystem::filesystem_error when a folder cannot be read.
std::vector<FileBelow> FilesBelow(const std::filesystem::path& root);

// A file's bytes; nothing when it is not a file or cannot be read.
std::optional<std::string> ReadBytes(const std::filesystem::path& path);

// A file's bytes when it starts like a PE file ("MZ"); nothing otherwise.
// Only such a file is read whole.
std::optional<std::string> ReadIfStartsLikePe(const std::filesystem::path& path);

// Throws std::runtime_error when the file cannot be written.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// The folder a command is to create, as given (OUT or OUT/), absolute.
std::filesystem::path OutputFolder(const std::string& given);
// True when nothing is at `folder` or it is an empty folder: a command may
// put its folder there.
bool IsAbsentOrEmptyFolder(const std::filesystem::path& folder);

// A fresh folder beside the one a command creates (".OUT.staging-XXXXXX"),
// built in and then renamed to OUT in one step, so that OUT never holds a
// half-built tree; removed with what it holds unless it was handed over.
class StagingFolder {
public:
    explicit StagingFolder(const std::filesystem::path& out);
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Renames the folder to `out`, which may be an empty folder.
    void MoveTo(const std::filesystem::path& out);

private:
    std::filesystem::path path_;
};

}  // namespace updater::kit
