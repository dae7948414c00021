// The in-memory Windows's answers to seam/update_lock.h: the machine's update lock.
#include <memory>

#include "fakes/fake_world.h"
#include "seam/update_lock.h"

namespace updater {

using fake::FakeWindows;
using fake::World;

struct UpdateLockState {};

void UpdateLockReleaser::operator()(UpdateLockState* lock) const {
    World().events.push_back("lock released");
    std::default_delete<UpdateLockState>()(lock);
}

// No other run holds it: the end-to-end tests show runs that meet.
LockAttempt TryTakeUpdateLock(UpdateLock& lock) {
    World().events.push_back(World().updateLockFails ? "lock failed" : "lock taken");
    if (World().updateLockFails) return LockAttempt::kFailed;
    lock.reset(std::make_unique<UpdateLockState>().release());
    return LockAttempt::kTaken;
}

LockAttempt WaitForUpdateLock(UpdateLock&) { return LockAttempt::kFailed; }

}  // namespace updater
