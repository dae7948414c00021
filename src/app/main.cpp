// The process entry: restrict DLL loading, hold the program's own file,
// create the application window, run the update, and turn any error that
// reaches this far into the application error box (none in a quiet run)
// and exit code 1. The exit code says how the run ended (ExitCodeOf).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>

#include "rules/command_line.h"
#include "rules/path.h"
#include "rules/run_outcome.h"
#include "rules/text.h"
#include "rules/texts.h"
#include "seam/errors.h"
#include "seam/process.h"
#include "update/run_update.h"
#include "win32/application_window.h"
#include "win32/own_image.h"
#include "win32/win32_support.h"

namespace {

// The program runs elevated, often from a downloads folder: no DLL may ever
// be looked up beside it. Windows 7 gained SetDefaultDllDirectories with an
// update only, so it is looked up rather than imported; without it, the
// current folder at least leaves the search path.
void RestrictDllSearchToSystemFolder() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryA("");
}

// A code address as upper-case hexadecimal digits, as wide as a pointer: eight
// digits in the 32-bit build, sixteen in the 64-bit one, so that no address is
// ever cut.
std::string HexAddress(const void* address) {
    constexpr int kDigits = static_cast<int>(sizeof(void*) * 2);
    char text[2 * sizeof(void*) + 1];
    std::snprintf(text, sizeof text, "%0*llX", kDigits,
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
    return text;
}

// The task-modal box of the top level: kind, module and address, then the
// message. A quiet run shows nothing: its exit code says it.
void ShowApplicationError(bool quiet, const std::string& kind, std::string message, const void* address) {
    if (quiet) return;
    if (message.empty() || message.back() != '.') message += '.';
    const std::string module = updater::FileNameOfPath(updater::GetExecutablePath());
    const std::string text =
        updater::FormatText(updater::texts::kApplicationErrorFormat, {kind, module, HexAddress(address)}) +
        "\r\n" + message + "\r\n";
    MessageBoxA(nullptr, text.c_str(), updater::texts::kApplicationErrorTitle,
                MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RestrictDllSearchToSystemFolder();
    // Read before anything can fail: a quiet run's every way out is silent.
    const updater::UpdateRequest request = updater::ReadUpdateRequest(GetCommandLineA());
    try {
        // From here on no one can rename the program's file and put another
        // at its name; the signature check reads the file held here, and only
        // when it is the one the running image was loaded from.
        updater::win32::HoldOwnImage();
        // A quiet run makes no window at all, not even the hidden one that
        // owns the shell's copies: it may run where no desktop is.
        std::optional<updater::win32::Application> application;
        if (!request.quiet) application.emplace();
        return updater::ExitCodeOf(updater::RunUpdate(request), request.quiet);
    } catch (const updater::PlatformError& error) {
        ShowApplicationError(request.quiet, error.kind(), error.what(), error.address());
    } catch (const std::bad_alloc& error) {
        ShowApplicationError(request.quiet, "EOutOfMemory", error.what(), nullptr);
    } catch (const std::exception& error) {
        ShowApplicationError(request.quiet, "Exception", error.what(), nullptr);
    } catch (...) {
        ShowApplicationError(request.quiet, "Exception", "Unknown error", nullptr);
    }
    return updater::ExitCodeOf(updater::RunOutcome::kUnexpectedError, request.quiet);
}
