#include "native/unique_fd.h"

#include <unistd.h>

namespace updater::native {

void FdTraits::Close(int fd) { close(fd); }

}  // namespace updater::native
