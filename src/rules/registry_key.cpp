#include "rules/registry_key.h"

namespace updater {

std::string RegistryKeyName(const std::string& path) {
    return !path.empty() && path.front() == '\\' ? path.substr(1) : path;
}

}  // namespace updater
