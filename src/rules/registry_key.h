// How a registry key path names its key. The product's key formats start
// with "\" (\SOFTWARE\ORMIKA\...): from the root of HKEY_LOCAL_MACHINE.
#pragma once

#include <string>

namespace updater {

// The key's name as the registry takes it: `path` without its leading "\".
// Only one is dropped: a second is passed on as it is.
std::string RegistryKeyName(const std::string& path);

}  // namespace updater
