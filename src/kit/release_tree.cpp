#include "kit/release_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "native/unique_fd.h"

namespace updater::kit {

namespace fs = std::filesystem;

namespace {

void ReadFolderInto(const fs::path& root, const std::string& below, ReleaseTree& tree) {
    const fs::path folder = below.empty() ? root : root / below;
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string relative = below.empty() ? name : below + "/" + name;
        const std::string path = (folder / name).string();
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0)
            throw fs::filesystem_error("cannot read", path, std::error_code(errno, std::generic_category()));
        if (S_ISDIR(status.st_mode)) {
            ReadFolderInto(root, relative, tree);
            continue;
        }
        // A link to a file counts as the file it leads to.
        if (S_ISLNK(status.st_mode) && stat(path.c_str(), &status) != 0) status.st_mode = 0;
        if (S_ISREG(status.st_mode))
            tree.files.push_back({relative, static_cast<std::uint64_t>(status.st_size), status.st_dev, status.st_ino});
        else
            tree.strangeEntries.push_back(relative);
    }
}

// Reads exactly `count` bytes (fewer only at an early end of the file).
std::size_t ReadFully(int fd, char* into, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = read(fd, into + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return done;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

native::UniqueFd OpenForReading(const fs::path& path) {
    native::UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) throw std::runtime_error("cannot read " + path.string() + ": " + std::strerror(errno));
    posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return file;
}

}  // namespace

ReleaseTree ReadReleaseTree(const fs::path& root) {
    ReleaseTree tree;
    tree.root = root;
    ReadFolderInto(root, "", tree);
    return tree;
}

std::vector<bool> SameContents(const fs::path& file, std::uint64_t size, const std::vector<fs::path>& others) {
    constexpr std::size_t kChunk = 256 * 1024;
    std::vector<bool> same(others.size(), true);
    if (others.empty() || size == 0) return same;
    const native::UniqueFd mine = OpenForReading(file);
    std::vector<native::UniqueFd> theirs;
    for (const fs::path& other : others) theirs.push_back(OpenForReading(other));
    std::vector<char> chunk(std::min<std::uint64_t>(kChunk, size)), other(chunk.size());
    std::size_t stillSame = others.size();
    for (std::uint64_t at = 0; at < size && stillSame > 0; at += chunk.size()) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - at));
        if (ReadFully(mine.get(), chunk.data(), want) != want)
            throw std::runtime_error("cannot read " + file.string() + " whole: it changed while being read");
        for (std::size_t i = 0; i < others.size(); ++i) {
            if (!same[i]) continue;
            if (ReadFully(theirs[i].get(), other.data(), want) != want)
                throw std::runtime_error("cannot read " + others[i].string() + " whole: it changed while being read");
            if (std::memcmp(chunk.data(), other.data(), want) != 0) {
                same[i] = false;
                theirs[i].Close();
                --stillSame;
            }
        }
    }
    return same;
}

}  // namespace updater::kit
