// The Windows layer's held file: a read handle without write or delete
// sharing, shared by the signature checks and the copy session.
#pragma once

#include "platform/platform.h"
#include "platform/win32/win32_handles.h"

namespace updater {

struct HeldFileHandle {
    win32::UniqueFile file;
};

}  // namespace updater
