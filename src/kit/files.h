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

}  // namespace updater::kit
