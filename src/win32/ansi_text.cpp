// Texts in the ANSI code page (932): upper-casing by the user's locale and
// exact conversion from UTF-8.
#include <windows.h>

#include <optional>
#include <string>

#include "seam/ansi_text.h"

namespace updater {

std::string UpperCaseAnsi(const std::string& text) {
    std::string result = text;
    if (!result.empty()) CharUpperBuffA(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

std::optional<std::string> Utf8ToAnsiExact(const std::string& utf8) {
    if (utf8.empty()) return std::string();
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                          nullptr, 0);
    if (units <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
    // No near matches ("é" as "e") and no default character ("?").
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr, 0, nullptr,
                                          &usedDefault);
    if (bytes <= 0 || usedDefault) return std::nullopt;
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, ansi.data(), bytes, nullptr, &usedDefault);
    if (usedDefault) return std::nullopt;
    // And back to the very same characters.
    const int back = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), bytes, nullptr, 0);
    std::wstring again(static_cast<std::size_t>(back > 0 ? back : 0), L'\0');
    if (back <= 0 || MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), bytes, again.data(), back) != back ||
        again != wide)
        return std::nullopt;
    return ansi;
}

}  // namespace updater
