#include "kit/files.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace updater::kit {

namespace fs = std::filesystem;

std::vector<FileBelow> FilesBelow(const fs::path& root) {
    std::vector<FileBelow> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (!it->is_regular_file()) continue;
        std::string relative = it->path().lexically_relative(root).generic_string();
        std::string windows = relative;
        for (char& c : windows)
            if (c == '/') c = '\\';
        files.push_back({it->path(), std::move(relative), std::move(windows)});
    }
    return files;
}

std::optional<std::string> ReadBytes(const fs::path& path) {
    std::error_code ignored;
    if (!fs::is_regular_file(path, ignored)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::optional<std::string> ReadIfStartsLikePe(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    char magic[2] = {};
    if (!in.read(magic, 2) || magic[0] != 'M' || magic[1] != 'Z') return std::nullopt;
    in.seekg(0);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

fs::path OutputFolder(const std::string& given) {
    const fs::path out = fs::absolute(given).lexically_normal();
    return out.has_filename() ? out : out.parent_path();
}

bool IsAbsentOrEmptyFolder(const fs::path& folder) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(folder, error);
    if (!fs::exists(status)) return true;
    return fs::is_directory(status) && fs::is_empty(folder, error) && !error;
}

StagingFolder::StagingFolder(const fs::path& out) {
    std::string pattern = (out.parent_path() / ("." + out.filename().string() + ".staging-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder beside " + out.string());
    path_ = pattern;
}

StagingFolder::~StagingFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
}

void StagingFolder::MoveTo(const fs::path& out) {
    fs::rename(path_, out);  // replaces an empty folder
    path_.clear();
}

}  // namespace updater::kit
