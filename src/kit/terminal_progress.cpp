#include "kit/terminal_progress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace updater::kit {

TerminalProgress::TerminalProgress() : enabled_(isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() { Clear(); }

void TerminalProgress::Clear() {
    if (shown_) std::fputs("\r\033[K", stderr);
    shown_ = false;
}

void TerminalProgress::Show(const std::string& text) {
    if (!enabled_) return;
    const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    if (shown_ && now - lastShownMs_ < 100) return;
    lastShownMs_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
}

}  // namespace updater::kit
