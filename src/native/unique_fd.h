// An open file descriptor, closed when its owner goes: the one owner of a
// POSIX descriptor for the native tools (update-kit and the preview seam).
#pragma once

#include <utility>

namespace updater::native {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    // Closes now (a pipe's end must close before its reader sees the end); -1 after.
    void Close();

private:
    int fd_ = -1;
};

}  // namespace updater::native
