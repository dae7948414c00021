// What the in-memory Windows's answers to the seam share: the living world.
#pragma once

#include "fakes/fake_platform.h"

namespace updater::fake {

inline FakeWindows& World() { return FakeWindows::Current(); }

}  // namespace updater::fake
