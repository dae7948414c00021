// Tells which standard system icon another process's window shows.
//
// Icon handles are per process, so a handle read from another process's
// static control says nothing. Instead the icon control's pixels are read
// from the screen and compared with the system icons drawn by this process.
#pragma once

#include <windows.h>

#include <string>

namespace e2etool {

struct IconMatch {
    std::string kind;  // "warning", "error", "information", "question" or "unknown"
    double score;      // mean colour distance at the icon's opaque pixels; lower is closer
};

// Compares the pixels of `iconControl` on the screen with each system icon.
IconMatch MatchSystemIcon(HWND iconControl);

// The static control of `dialog` that shows an icon (SS_ICON), or nullptr.
HWND FindIconControl(HWND dialog);

}  // namespace e2etool
