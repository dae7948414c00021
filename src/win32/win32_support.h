// Helpers shared by the Windows layer: raising its errors, the system's
// description of an error code, screen scaling.
#pragma once

#include <windows.h>

#include <string>

#include "seam/errors.h"
#include "win32/win32_handles.h"

namespace updater::win32 {

// Throws PlatformError carrying the address of the code that called it, so
// the application error box names the operation that failed.
[[noreturn]] __attribute__((noinline)) inline void RaiseError(const char* kind,
                                                              const std::string& message) {
    throw PlatformError(kind, message, __builtin_return_address(0));
}

// The system's description of `error` in the user's language, without
// trailing blanks, control characters and "."; "" when the system has none.
inline std::string SystemErrorText(DWORD error) {
    char buffer[1024];
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    // Code page 932 trail bytes are 0x40 or above, so this never cuts a character in two.
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

// The screen's vertical resolution in dots per inch (96 at 100%).
inline int ScreenDpi() {
    const ScreenDC dc = GetScreenDC();
    const int dpi = dc ? GetDeviceCaps(dc.get(), LOGPIXELSY) : 96;
    return dpi > 0 ? dpi : 96;
}

// `pixels` laid out at 96 dpi, scaled to the screen.
inline int Scaled(int pixels) { return MulDiv(pixels, ScreenDpi(), 96); }

}  // namespace updater::win32
