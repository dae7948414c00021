#include "window_query.h"

#include <memory>

namespace e2etool {

namespace {

constexpr UINT kMessageTimeoutMs = 2000;
constexpr DWORD kPollIntervalMs = 20;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

}  // namespace

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

namespace {

// The top-level windows a filter can match. With a class, only that class's
// windows: the system picks them out in one request, where enumerating all
// and asking each for its class costs some thirty Wine server requests a
// poll, served on the CPU of the program under test.
std::vector<HWND> CandidateWindows(const WindowFilter& filter) {
    if (filter.className.empty()) return TopLevelWindows();
    std::vector<HWND> windows;
    for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, filter.className.c_str(), nullptr));)
        windows.push_back(window);
    return windows;
}

}  // namespace

std::vector<HWND> MatchingWindows(const WindowFilter& filter) {
    std::vector<HWND> found;
    const DWORD self = GetCurrentProcessId();
    for (HWND window : CandidateWindows(filter)) {
        if (!IsWindowVisible(window)) continue;
        const DWORD owner = ProcessOf(window);
        if (owner == self) continue;
        if (!filter.className.empty() && ClassOf(window) != filter.className) continue;
        if (!filter.exeName.empty() && !SameNameIgnoringCase(ProcessName(owner), filter.exeName)) {
            continue;
        }
        found.push_back(window);
    }
    return found;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    const int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

std::string TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                             kMessageTimeoutMs, &length)) {
        return {};
    }
    // The length is in characters of the window's own encoding; in code page
    // 932 a character takes at most two bytes.
    std::string text(length * 2 + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
        return {};
    }
    text.resize(copied < text.size() ? copied : text.size());
    return text;
}

std::string StoredTextOf(HWND window) {
    // For another process's window GetWindowTextA reads the stored text and
    // converts it to the ANSI code page; it sends no message.
    std::string text(4096, '\0');
    const int length = GetWindowTextA(window, &text[0], static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return text;
}

DWORD ProcessOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

std::string ProcessName(DWORD processId) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return {};
    char path[MAX_PATH * 2] = {};
    DWORD size = sizeof path;
    if (!QueryFullProcessImageNameA(process.get(), 0, path, &size)) return {};
    // Step over double-byte characters whole: a trail byte may be 0x5C ("\\").
    DWORD nameStart = 0;
    for (DWORD i = 0; i < size; ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < size) {
            ++i;
        } else if (path[i] == '\\' || path[i] == '/') {
            nameStart = i + 1;
        }
    }
    return std::string(path + nameStart, path + size);
}

bool PollUntil(DWORD timeoutMs, const std::function<bool()>& ready) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (ready()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollIntervalMs);
    }
}

std::string RectText(const RECT& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
           std::to_string(rect.right) + "," + std::to_string(rect.bottom);
}

}  // namespace e2etool
