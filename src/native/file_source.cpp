#include "native/file_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace updater::native {

std::size_t FileSource::Read(std::uint64_t offset, char* into, std::size_t count) {
    if (!headRead_) {
        headRead_ = true;
        headLength_ = ReadAt(0, head_.data(), static_cast<std::size_t>(std::min<std::uint64_t>(head_.size(), size_)));
    }
    if (offset < headLength_ && headLength_ - offset >= count) {
        std::copy_n(head_.data() + offset, count, into);
        return count;
    }
    return ReadAt(offset, into, count);
}

std::size_t FileSource::ReadAt(std::uint64_t offset, char* into, std::size_t count) {
    if (file_.get() < 0 && !openFailed_) {
        file_ = UniqueFd(folder_ >= 0 ? openat(folder_, name_, O_RDONLY | O_CLOEXEC) : open(path_, O_RDONLY | O_CLOEXEC));
        openFailed_ = file_.get() < 0;
    }
    if (file_.get() < 0) return 0;
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(file_.get(), into + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

}  // namespace updater::native
