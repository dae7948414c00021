#include "native/unique_fd.h"

#include <unistd.h>

namespace updater::native {

void UniqueFd::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

}  // namespace updater::native
