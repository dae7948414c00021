// Finding and reading the windows of another process.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2etool {

// Which top-level windows a command looks at: never the tool's own; only
// visible ones; optionally only one window class and one process image name
// (compared case-insensitively; empty means any).
struct WindowFilter {
    std::string className;
    std::string exeName;
};

std::vector<HWND> TopLevelWindows();
std::vector<HWND> ChildWindows(HWND parent);
std::vector<HWND> MatchingWindows(const WindowFilter& filter);

std::string ClassOf(HWND window);
// The window's text through WM_GETTEXT with a time-out, as code page 932 bytes.
std::string TextOf(HWND window);
// The text the window manager keeps for a window of another process, read
// without sending it a message: it works while that window's thread is busy
// (the progress window does not answer messages during the copy).
std::string StoredTextOf(HWND window);
DWORD ProcessOf(HWND window);
// File name part of the process's image path ("updater.exe"), or "".
std::string ProcessName(DWORD processId);

// Polls `ready` every few milliseconds until it returns true or `timeoutMs`
// passes; returns whether it became true.
bool PollUntil(DWORD timeoutMs, const std::function<bool()>& ready);

// "left,top,right,bottom".
std::string RectText(const RECT& rect);

}  // namespace e2etool
