// An open file descriptor, closed when its owner goes: the one owner of a
// POSIX descriptor for the native tools (update-kit and the preview seam).
#pragma once

#include "rules/unique_resource.h"

namespace updater::native {

// Every negative value is no descriptor; an empty owner holds -1.
struct FdTraits {
    using Type = int;
    static constexpr int Invalid() { return -1; }
    static constexpr bool IsValid(int fd) { return fd >= 0; }
    static void Close(int fd);
};

class UniqueFd : public UniqueResource<FdTraits> {
public:
    using UniqueResource::UniqueResource;

    // Closes now (a pipe's end must close before its reader sees the end); -1 after.
    void Close() { reset(); }
};

}  // namespace updater::native
