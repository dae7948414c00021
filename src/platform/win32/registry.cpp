// Read-only access to HKEY_LOCAL_MACHINE, always in the 32-bit view of SOFTWARE:
// the product is a 32-bit program and records itself there. KEY_WOW64_32KEY
// changes nothing for the 32-bit build and points the 64-bit build at the same
// keys (Software\Wow6432Node).
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_support.h"
#include "text/text.h"
#include "text/texts.h"

namespace updater {

struct RegistryKeyHandle {
    HKEY key;
};

void RegistryKeyCloser::operator()(RegistryKeyHandle* handle) const {
    RegCloseKey(handle->key);
    std::default_delete<RegistryKeyHandle>()(handle);
}

RegistryKey OpenRegistryKey(const std::string& path) {
    // A leading "\" means "from the root"; it is not part of the key's name.
    const std::string name = !path.empty() && path[0] == '\\' ? path.substr(1) : path;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, name.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return RegistryKey();
    return RegistryKey(std::make_unique<RegistryKeyHandle>(RegistryKeyHandle{key}).release());
}

std::string ReadRegistryString(const RegistryKey& key, const std::string& name) {
    if (!key) return "";
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key->key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        size == 0)
        return "";
    // One byte more than asked for: a stored text need not end in NUL.
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key->key, name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        win32::RaiseError(kRegistryError, FormatText(texts::kRegistryReadFailed, {name}));
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        win32::RaiseError(kRegistryError, FormatText(texts::kRegistryWrongType, {name}));
    return std::string(data.data());  // cut at the first NUL
}

}  // namespace updater
