#include "host/unique_fd.h"

#include <unistd.h>

namespace updater::host {

void UniqueFd::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

}  // namespace updater::host
