// Read-only access to HKEY_LOCAL_MACHINE, always in the 32-bit view of SOFTWARE:
// the product is a 32-bit program and records itself there. KEY_WOW64_32KEY
// changes nothing for the 32-bit build and points the 64-bit build at the same
// keys (Software\Wow6432Node).
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rules/registry_key.h"
#include "rules/text.h"
#include "rules/texts.h"
#include "seam/errors.h"
#include "seam/registry.h"
#include "win32/win32_handles.h"
#include "win32/win32_support.h"

namespace updater {

namespace {

using UniqueKey = win32::UniqueHandle<HKEY, RegCloseKey>;

// `path` opened for KEY_READ without creating it; empty when it is missing or
// cannot be opened.
UniqueKey OpenKey(const std::string& path) {
    const std::string name = RegistryKeyName(path);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, name.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return UniqueKey();
    return UniqueKey(key);
}

}  // namespace

std::optional<std::string> ReadRegistryString(const std::string& keyPath, const std::string& name) {
    const UniqueKey key = OpenKey(keyPath);
    if (!key) return std::nullopt;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        size == 0)
        return std::nullopt;
    // One byte more than asked for: a stored text need not end in NUL.
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        win32::RaiseError(kRegistryError, FormatText(texts::kRegistryReadFailed, {name}));
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        win32::RaiseError(kRegistryError, FormatText(texts::kRegistryWrongType, {name}));
    return std::string(data.data());  // cut at the first NUL
}

}  // namespace updater
