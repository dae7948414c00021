// e2etool: the end-to-end tests' eyes and hands inside the Wine session.
//
// It finds the windows of the program under test, prints what they show as
// "key=value" lines (see report.h) and presses their buttons. Exit code 0 when
// what the command waited for happened, 1 when it did not, 2 on a usage error.
//
//   acp                                   code pages and locale of this session
//   box [--timeout-ms N] [--exe NAME] [--no-press | --press MODE]
//                                         waits for a message box (visible "#32770"
//                                         of another process), prints it, closes it;
//                                         MODE: click (default), command, enter,
//                                         escape, close, none. Keys: found, process,
//                                         title, text (static 0xFFFF), icon_id, icon
//                                         (error = stop sign, warning, information,
//                                         question, unknown, none), found_unix_ms
//                                         (when it was seen), buttons, buttonN,
//                                         buttonN_id, buttonN_default, default_id,
//                                         rect, size, screen, style, owner_title,
//                                         owner_visible, foreground, closed
//   nowindow --ms N [--exe NAME]          no visible window of NAME (default
//                                         updater.exe, "*" for any) for N ms
//   progress [--timeout-ms N] [--exe NAME]
//                                         waits for the "TForm1" window, prints it:
//                                         title, rect, size, screen, client, children,
//                                         childN_class/_text/_rect, panel_text,
//                                         owner_class, owner_title, owner_visible
//   gone CLASS [--timeout-ms N] [--exe NAME]
//                                         waits until no visible CLASS window is left
//   windows [--exe NAME] [--all]          lists top-level windows
//   rect --class CLASS [--timeout-ms N] [--exe NAME]
//                                         prints a window's outer rectangle
//   cmdline [ARGS...]                     prints the command line Wine built for it
//   hold FILE --release PATH [--timeout-ms N] [--share all]
//                                         opens FILE without sharing (or, with --share
//                                         all, sharing everything), prints ready=1,
//                                         keeps it open until PATH exists
//   suspended --release PATH [--timeout-ms N] EXE [ARGS...]
//                                         starts EXE with ARGS suspended, prints ready=1,
//                                         lets it run once PATH exists, prints its exit
//                                         code when it ends
//   tamper --release PATH FOLDER...       until PATH exists, writes "TAMPERED" over
//                                         the start of each FOLDER\~upd.tmp the shell
//                                         has written, whenever it can open it; prints
//                                         written (how often)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "icon_match.h"
#include "report.h"
#include "window_query.h"

namespace e2etool {
namespace {

constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr DWORD kIconPaintTimeoutMs = 3000;
constexpr DWORD kCloseTimeoutMs = 5000;
constexpr int kMessageTextId = 0xFFFF;

// Command-line options: "--name value" pairs and bare flags.
class Options {
public:
    Options(int argc, char** argv, int first) {
        for (int i = first; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg.rfind("--", 0) != 0) {
                positional_.push_back(arg);
            } else if (arg == "--no-press" || arg == "--all") {
                values_[arg] = "1";
            } else if (i + 1 < argc) {
                values_[arg] = argv[++i];
            } else {
                values_[arg] = "";
            }
        }
    }
    std::string Get(const std::string& name, const std::string& fallback = "") const {
        const auto found = values_.find(name);
        return found == values_.end() ? fallback : found->second;
    }
    DWORD Number(const std::string& name, DWORD fallback) const {
        const std::string text = Get(name);
        return text.empty() ? fallback : static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
    }
    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    const std::vector<std::string>& Positional() const { return positional_; }

private:
    std::map<std::string, std::string> values_;
    std::vector<std::string> positional_;
};

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

std::string ExeFilter(const Options& options, const std::string& fallback) {
    const std::string exe = options.Get("--exe", fallback);
    return exe == "*" ? std::string() : exe;
}

HWND WaitForWindow(const WindowFilter& filter, DWORD timeoutMs) {
    HWND found = nullptr;
    PollUntil(timeoutMs, [&] {
        const auto windows = MatchingWindows(filter);
        found = windows.empty() ? nullptr : windows.front();
        return found != nullptr;
    });
    return found;
}

// Milliseconds since 1970 by the host's clock (Wine's clock is the host's).
unsigned long long UnixMillisNow() {
    constexpr unsigned long long kUnixEpochIn100ns = 116444736000000000ULL;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - kUnixEpochIn100ns) / 10000;
}

std::string ScreenSize() {
    return std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "," +
           std::to_string(GetSystemMetrics(SM_CYSCREEN));
}

void ReportOwner(HWND window) {
    const HWND owner = GetWindow(window, GW_OWNER);
    Report("owner", owner ? 1 : 0);
    if (!owner) return;
    Report("owner_class", ClassOf(owner));
    Report("owner_title", StoredTextOf(owner));
    Report("owner_visible", IsWindowVisible(owner) ? 1 : 0);
    Report("owner_same_process", ProcessOf(owner) == ProcessOf(window) ? 1 : 0);
}

void ReportWindowFrame(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    Report("rect", RectText(rect));
    Report("size", std::to_string(rect.right - rect.left) + "," + std::to_string(rect.bottom - rect.top));
    Report("screen", ScreenSize());
    Report("style", Hex(static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE))));
    Report("exstyle", Hex(static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE))));
}

// ---- box ------------------------------------------------------------------

std::vector<HWND> Buttons(HWND box) {
    std::vector<HWND> buttons;
    for (HWND child : ChildWindows(box)) {
        if (lstrcmpiA(ClassOf(child).c_str(), "Button") == 0) buttons.push_back(child);
    }
    return buttons;
}

void ReportButtons(HWND box, const std::vector<HWND>& buttons) {
    Report("buttons", static_cast<long long>(buttons.size()));
    for (size_t i = 0; i < buttons.size(); ++i) {
        const std::string prefix = "button" + std::to_string(i + 1);
        const LONG style = GetWindowLongA(buttons[i], GWL_STYLE);
        Report(prefix, TextOf(buttons[i]));
        Report(prefix + "_id", GetDlgCtrlID(buttons[i]));
        Report(prefix + "_default", (style & 0x0F) == BS_DEFPUSHBUTTON ? 1 : 0);
    }
    DWORD_PTR defId = 0;
    if (SendMessageTimeoutA(box, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 2000, &defId) &&
        HIWORD(defId) == DC_HASDEFID) {
        Report("default_id", LOWORD(defId));
    }
}

void ReportIcon(HWND box) {
    const HWND icon = FindIconControl(box);
    Report("icon_control", icon ? 1 : 0);
    if (!icon) {
        Report("icon", "none");
        return;
    }
    Report("icon_id", GetDlgCtrlID(icon));
    // The box may not have painted yet: look again until the icon is seen.
    IconMatch match{"unknown", 1e9};
    PollUntil(kIconPaintTimeoutMs, [&] {
        match = MatchSystemIcon(icon);
        return match.kind != "unknown";
    });
    Report("icon", match.kind);
    Report("icon_score", static_cast<long long>(match.score * 100 + 0.5) / 100);
}

bool Press(HWND box, const std::vector<HWND>& buttons, const std::string& mode) {
    HWND ok = GetDlgItem(box, IDOK);
    if (!ok && !buttons.empty()) ok = buttons.front();
    if (mode == "click") {
        if (!ok) return false;
        PostMessageA(ok, BM_CLICK, 0, 0);
    } else if (mode == "command") {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    } else if (mode == "enter" || mode == "escape") {
        // Posted keys go through the box's own dialog message handling.
        const WPARAM key = mode == "enter" ? VK_RETURN : VK_ESCAPE;
        const HWND target = ok ? ok : box;
        PostMessageA(target, WM_KEYDOWN, key, 1);
        PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    } else if (mode == "close") {
        PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
        return false;
    }
    return true;
}

int CommandBox(const Options& options) {
    const WindowFilter filter{"#32770", ExeFilter(options, "")};
    const HWND box = WaitForWindow(filter, options.Number("--timeout-ms", kDefaultTimeoutMs));
    const unsigned long long foundAt = UnixMillisNow();
    // Flushed at once: a waiting rig learns that a box came.
    ReportNow("found", box ? "1" : "0");
    if (!box) return 1;
    Report("found_unix_ms", std::to_string(foundAt));

    Report("process", ProcessName(ProcessOf(box)));
    Report("title", TextOf(box));
    const HWND textControl = GetDlgItem(box, kMessageTextId);
    Report("text_control", textControl ? 1 : 0);
    Report("text", textControl ? TextOf(textControl) : std::string());
    ReportIcon(box);
    const std::vector<HWND> buttons = Buttons(box);
    ReportButtons(box, buttons);
    ReportWindowFrame(box);
    ReportOwner(box);
    Report("foreground", GetForegroundWindow() == box ? 1 : 0);

    const std::string mode = options.Has("--no-press") ? "none" : options.Get("--press", "click");
    if (mode == "none") return 0;
    Report("press", mode);
    if (!Press(box, buttons, mode)) {
        Report("closed", 0);
        return 1;
    }
    const bool closed = PollUntil(kCloseTimeoutMs, [&] { return !IsWindow(box) || !IsWindowVisible(box); });
    Report("closed", closed ? 1 : 0);
    return closed ? 0 : 1;
}

// ---- nowindow ---------------------------------------------------------------

int CommandNoWindow(const Options& options) {
    const WindowFilter filter{"", ExeFilter(options, "updater.exe")};
    const DWORD durationMs = options.Number("--ms", 1500);
    ReportNow("ready", "1");
    HWND seen = nullptr;
    PollUntil(durationMs, [&] {
        const auto windows = MatchingWindows(filter);
        seen = windows.empty() ? nullptr : windows.front();
        return seen != nullptr;
    });
    if (seen) {
        Report("window_class", ClassOf(seen));
        Report("window_title", TextOf(seen));
        Report("window_process", ProcessName(ProcessOf(seen)));
    }
    Report("nowindow", seen ? 0 : 1);
    return seen ? 1 : 0;
}

// ---- progress -----------------------------------------------------------

void ReportChildren(HWND window) {
    const std::vector<HWND> children = ChildWindows(window);
    Report("children", static_cast<long long>(children.size()));
    for (size_t i = 0; i < children.size(); ++i) {
        const std::string prefix = "child" + std::to_string(i + 1);
        RECT rect = {};
        GetWindowRect(children[i], &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        Report(prefix + "_class", ClassOf(children[i]));
        Report(prefix + "_text", StoredTextOf(children[i]));
        Report(prefix + "_rect", RectText(rect));
        Report(prefix + "_visible", IsWindowVisible(children[i]) ? 1 : 0);
    }
}

int CommandProgress(const Options& options) {
    const WindowFilter filter{"TForm1", ExeFilter(options, "")};
    const HWND window = WaitForWindow(filter, options.Number("--timeout-ms", kDefaultTimeoutMs));
    Report("found", window ? 1 : 0);
    if (!window) return 1;
    Report("process", ProcessName(ProcessOf(window)));
    // The copy keeps the window's thread busy: read texts without messages.
    Report("title", StoredTextOf(window));
    ReportWindowFrame(window);
    RECT client = {};
    GetClientRect(window, &client);
    Report("client", RectText(client));
    ReportChildren(window);
    const HWND panel = FindWindowExA(window, nullptr, "TPanel", nullptr);
    Report("panel", panel ? 1 : 0);
    if (panel) Report("panel_text", StoredTextOf(panel));
    ReportOwner(window);
    return 0;
}

// ---- gone, windows ----------------------------------------------------------

int CommandGone(const Options& options) {
    if (options.Positional().empty()) return 2;
    const WindowFilter filter{options.Positional().front(), ExeFilter(options, "")};
    const bool gone = PollUntil(options.Number("--timeout-ms", kDefaultTimeoutMs),
                                [&] { return MatchingWindows(filter).empty(); });
    Report("gone", gone ? 1 : 0);
    return gone ? 0 : 1;
}

int CommandWindows(const Options& options) {
    const std::string exe = ExeFilter(options, "");
    const bool all = options.Has("--all");
    int count = 0;
    for (HWND window : TopLevelWindows()) {
        if (!all && !IsWindowVisible(window)) continue;
        const std::string process = ProcessName(ProcessOf(window));
        if (!exe.empty() && lstrcmpiA(process.c_str(), exe.c_str()) != 0) continue;
        const std::string prefix = "window" + std::to_string(++count);
        Report(prefix + "_class", ClassOf(window));
        Report(prefix + "_title", TextOf(window));
        Report(prefix + "_process", process);
        Report(prefix + "_visible", IsWindowVisible(window) ? 1 : 0);
    }
    Report("windows", count);
    return 0;
}

// ---- rect -------------------------------------------------------------------

int CommandRect(const Options& options) {
    const WindowFilter filter{options.Get("--class"), ExeFilter(options, "")};
    const HWND window = WaitForWindow(filter, options.Number("--timeout-ms", kDefaultTimeoutMs));
    Report("found", window ? 1 : 0);
    if (!window) return 1;
    RECT rect = {};
    GetWindowRect(window, &rect);
    Report("rect", RectText(rect));
    Report("size", std::to_string(rect.right - rect.left) + "," + std::to_string(rect.bottom - rect.top));
    return 0;
}

// ---- acp --------------------------------------------------------------------

int CommandAcp() {
    Report("acp", GetACP());
    Report("oemcp", GetOEMCP());
    Report("user_lcid", Hex(GetUserDefaultLCID()));
    Report("system_lcid", Hex(GetSystemDefaultLCID()));
    return 0;
}

int CommandCmdline() {
    Report("cmdline", GetCommandLineA());
    return 0;
}

// ---- hold -------------------------------------------------------------------

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

// Keeps a file open with share mode 0, so that any other open of it fails
// with a sharing violation, until the release file appears. With sharing it
// is a file in use by a program that lets others read, write and delete it.
int CommandHold(const Options& options) {
    const std::string release = options.Get("--release");
    if (options.Positional().empty() || release.empty()) return 2;
    const DWORD share =
        options.Get("--share") == "all" ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
    const HANDLE file = CreateFileA(options.Positional().front().c_str(), GENERIC_READ | GENERIC_WRITE, share,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Report("held", 0);
        Report("error", static_cast<long long>(GetLastError()));
        ReportNow("ready", "1");
        return 1;
    }
    const std::unique_ptr<void, HandleCloser> held(file);
    Report("held", 1);
    ReportNow("ready", "1");
    const bool released = PollUntil(options.Number("--timeout-ms", 60000), [&] {
        return GetFileAttributesA(release.c_str()) != INVALID_FILE_ATTRIBUTES;
    });
    Report("released", released ? 1 : 0);
    return released ? 0 : 1;
}

// ---- suspended --------------------------------------------------------------

// Starts a program that runs no line of its own until the release file
// appears, so that a test can change its files in between. Arguments are
// quoted as Wine quotes them: those with blanks, and empty ones.
int CommandSuspended(const Options& options) {
    const std::string release = options.Get("--release");
    const DWORD timeoutMs = options.Number("--timeout-ms", 60000);
    if (options.Positional().empty() || release.empty()) return 2;
    std::string commandLine;
    for (const std::string& arg : options.Positional()) {
        const bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
        commandLine += (commandLine.empty() ? "" : " ") + (quote ? "\"" + arg + "\"" : arg);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    const bool created = CreateProcessA(options.Positional().front().c_str(), commandLine.data(), nullptr, nullptr,
                                        FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup, &started);
    ReportNow("ready", "1");
    if (!created) return 1;
    const std::unique_ptr<void, HandleCloser> process(started.hProcess), thread(started.hThread);
    DWORD code = 0;
    if (!PollUntil(timeoutMs, [&] { return GetFileAttributesA(release.c_str()) != INVALID_FILE_ATTRIBUTES; }) ||
        ResumeThread(started.hThread) == static_cast<DWORD>(-1) ||
        WaitForSingleObject(started.hProcess, timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(started.hProcess, &code)) {
        TerminateProcess(started.hProcess, 1);
        return 1;
    }
    Report("exit", static_cast<long long>(code));
    return 0;
}

// ---- tamper -----------------------------------------------------------------

// A program of the user in a product folder it may write to: one thread a
// folder asks again at once after each refusal, so that it gets in as soon
// as the shell has closed the file it wrote; an empty one is left alone.
struct TamperThread {
    std::string path;
    std::string release;
    LONG written = 0;
};

DWORD WINAPI Tamper(void* argument) {
    auto& work = *static_cast<TamperThread*>(argument);
    while (GetFileAttributesA(work.release.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const HANDLE file = CreateFileA(work.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        const std::unique_ptr<void, HandleCloser> held(file);
        LARGE_INTEGER size = {};
        DWORD done = 0;
        if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && WriteFile(file, "TAMPERED", 8, &done, nullptr)) ++work.written;
    }
    return 0;
}

int CommandTamper(const Options& options) {
    const std::string release = options.Get("--release");
    if (options.Positional().empty() || release.empty()) return 2;
    std::vector<TamperThread> work;
    for (const std::string& folder : options.Positional()) work.push_back({folder + "\\~upd.tmp", release});
    std::vector<HANDLE> threads;
    for (TamperThread& one : work) threads.push_back(CreateThread(nullptr, 0, Tamper, &one, 0, nullptr));
    ReportNow("ready", "1");
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    long long written = 0;
    for (size_t i = 0; i < threads.size(); ++i) {
        CloseHandle(threads[i]);
        written += work[i].written;
    }
    Report("written", written);
    return 0;
}

int Usage() {
    Report("error",
           "usage: e2etool acp|box|nowindow|progress|gone|windows|rect|cmdline|hold|suspended|tamper [options]");
    return 2;
}

}  // namespace
}  // namespace e2etool

int main(int argc, char** argv) {
    using namespace e2etool;
    InitReport();
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    const Options options(argc, argv, 2);
    int result = 2;
    if (command == "acp") result = CommandAcp();
    else if (command == "box") result = CommandBox(options);
    else if (command == "nowindow") result = CommandNoWindow(options);
    else if (command == "progress") result = CommandProgress(options);
    else if (command == "gone") result = CommandGone(options);
    else if (command == "windows") result = CommandWindows(options);
    else if (command == "rect") result = CommandRect(options);
    else if (command == "cmdline") result = CommandCmdline();
    else if (command == "hold") result = CommandHold(options);
    else if (command == "suspended") result = CommandSuspended(options);
    else if (command == "tamper") result = CommandTamper(options);
    else return Usage();
    std::fflush(stdout);
    return result;
}
