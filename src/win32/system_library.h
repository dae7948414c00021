// Loading a DLL that is not a KnownDLL: from the system folder only, never
// from beside the (elevated) program, which a static import would allow.
#pragma once

#include <windows.h>

#include <string>

#include "rules/text.h"
#include "rules/texts.h"
#include "seam/errors.h"
#include "win32/win32_handles.h"
#include "win32/win32_support.h"

namespace updater::win32 {

// The entry `name` of `module` as a function of type Function, or nullptr.
template <typename Function>
Function Entry(HMODULE module, const char* name) {
    // Through void(*)(): the one cast between function types that GCC accepts silently.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

inline UniqueModule LoadSystemLibrary(const char* name) {
    UniqueModule module(LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // A system without the search flags (Windows 7 before its loader update):
    // name the file in the system folder explicitly.
    char folder[MAX_PATH + 1];
    const UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return module;
    const std::string path = std::string(folder, length) + "\\" + name;
    return UniqueModule(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

// The library `name` as the type Library loads it (its module, its entries
// and, when not `ready()`, the `error` why not), made at the first call and
// kept; raises the library-load error when it could not be loaded, so that
// no caller ever goes on without it.
template <typename Library>
const Library& LoadedOnce(const char* name) {
    static const Library library;
    if (!library.ready())
        RaiseError(kLibraryLoadError, FormatText(texts::kCannotLoadLibrary, {name, SystemErrorText(library.error)}));
    return library;
}

}  // namespace updater::win32
