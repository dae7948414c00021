#include "kit/release_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "native/unique_fd.h"
#include "rules/unique_resource.h"

namespace updater::kit {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void CannotRead(const fs::path& path) {
    throw fs::filesystem_error("cannot read", path, std::error_code(errno, std::generic_category()));
}

// The folder `below` (open as `folder`) and everything below it, each entry
// looked up by its name in its folder: one short lookup a file.
void ReadFolderInto(native::UniqueFd folder, const ReleaseTree& where, const std::string& below, ReleaseTree& tree) {
    const UniquePointer<DIR, closedir> stream(fdopendir(folder.get()));
    if (!stream) CannotRead(where.root / below);
    folder.release();  // the stream closes it now
    DIR* const listing = stream.get();
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    if (errno != 0) CannotRead(where.root / below);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string relative = below.empty() ? name : below + "/" + name;
        struct stat status {};
        if (fstatat(dirfd(listing), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) CannotRead(where.root / relative);
        if (S_ISDIR(status.st_mode)) {
            native::UniqueFd inner(
                openat(dirfd(listing), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!inner) CannotRead(where.root / relative);
            ReadFolderInto(std::move(inner), where, relative, tree);
            continue;
        }
        // A link to a file counts as the file it leads to.
        if (S_ISLNK(status.st_mode) && fstatat(dirfd(listing), name.c_str(), &status, 0) != 0) status.st_mode = 0;
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
    return file;
}

}  // namespace

ReleaseTree ReadReleaseTree(const fs::path& root) {
    ReleaseTree tree;
    tree.root = root;
    native::UniqueFd folder(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) CannotRead(root);
    ReadFolderInto(std::move(folder), tree, "", tree);
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
