// Keeps exceptions from unwinding through the system's frames. A window
// procedure or enumeration callback runs its body through GuardCallback; an
// exception thrown there is kept and the callback returns its fallback. The
// program's own code, once the system call that ran the callback has
// returned, calls RethrowCallbackError, so the error still ends the run
// through the top-level handler. No Windows header: the rule is tested natively.
#pragma once

#include <exception>
#include <utility>

namespace updater::win32 {

// The first error a callback kept and nobody has rethrown yet.
inline std::exception_ptr& PendingCallbackError() {
    static std::exception_ptr pending;
    return pending;
}

template <typename Result, typename Body>
Result GuardCallback(Result fallback, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        if (!PendingCallbackError()) PendingCallbackError() = std::current_exception();
        return fallback;
    }
}

// Rethrows the kept error, if any, once.
inline void RethrowCallbackError() {
    if (std::exception_ptr error = std::exchange(PendingCallbackError(), nullptr)) std::rethrow_exception(error);
}

}  // namespace updater::win32
