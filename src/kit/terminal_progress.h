// A line of progress on stderr, only when stderr is a terminal, at most ten
// times a second; erased at the end so that nothing of it stays among the
// results. check, preview and stage show their progress with it.
#pragma once

#include <string>

namespace updater::kit {

class TerminalProgress {
public:
    TerminalProgress();
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // False when stderr is not a terminal: a caller may then spare itself
    // making the text.
    bool enabled() const { return enabled_; }
    void Show(const std::string& text);
    void Clear();  // before a result is printed

private:
    bool enabled_;
    bool shown_ = false;
    long long lastShownMs_ = 0;
};

}  // namespace updater::kit
