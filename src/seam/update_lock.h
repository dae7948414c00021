// The machine's one update lock: every updater, of every product line and
// edition, copies only while it holds it, so that two runs never write into
// one product folder at once.
#pragma once

#include <memory>

namespace updater {

struct UpdateLockState;  // defined by each implementation
struct UpdateLockReleaser {
    void operator()(UpdateLockState* lock) const;
};
// While it is held, no other update run takes the lock; it is let go when
// this goes, on every path, and by the system when the process ends in any
// way (a killed run's lock is taken over by the next).
using UpdateLock = std::unique_ptr<UpdateLockState, UpdateLockReleaser>;

enum class LockAttempt {
    kTaken,  // `lock` holds it now
    kBusy,   // another run holds it
    kFailed  // it could not be asked for at all
};

// Takes the lock into `lock` if no one holds it, without waiting.
LockAttempt TryTakeUpdateLock(UpdateLock& lock);

// Waits until the lock is free and takes it (after a kBusy). Windows keep
// painting meanwhile. kTaken or kFailed.
LockAttempt WaitForUpdateLock(UpdateLock& lock);

}  // namespace updater
