// A file on disk as the PE version reader's ByteSource (pe_version.h): read
// only where the reader asks, through one descriptor opened at the first
// read and closed with the source. The first 4 KiB are read at once and
// kept: they hold the headers and, in a small DLL, the resource directories
// and version block too, so most files cost one read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "native/pe_version.h"
#include "native/unique_fd.h"

namespace updater::native {

class FileSource final : public ByteSource {
public:
    // The file `name` in the folder open as `folder`, or at `path` when
    // `folder` is -1; `size` is its size. The texts must outlive the source.
    FileSource(int folder, const char* name, const char* path, std::uint64_t size)
        : folder_(folder), name_(name), path_(path), size_(size) {}

    std::uint64_t Size() const override { return size_; }
    std::size_t Read(std::uint64_t offset, char* into, std::size_t count) override;

private:
    // Up to `count` bytes from `offset`: fewer at the end of the file, none
    // when it cannot be opened or read.
    std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t count);

    int folder_;
    const char* name_;
    const char* path_;
    std::uint64_t size_;
    UniqueFd file_;
    bool openFailed_ = false;
    bool headRead_ = false;
    std::size_t headLength_ = 0;
    std::array<char, 4096> head_;
};

}  // namespace updater::native
