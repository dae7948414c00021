// The installed product, as its edition's registry key records it.
#pragma once

#include <string>

#include "rules/product.h"

namespace updater {

struct InstalledProduct {
    std::string targetRoot;        // "" when the product is not installed
    std::string installedVersion;  // "" when not recorded
};

// A folder or version text of the product's key: the registry value as the
// seam reads it (ReadRegistryString), "" when it is missing, and with one
// trailing "\" dropped, so that a RootDir joins with a relative path.
std::string ReadRegistryText(const std::string& keyPath, const std::string& valueName);
// RootDir and Version of the edition's registry key, each read afresh. A
// RootDir of nothing but separators counts as none: the product is not installed.
InstalledProduct LookupInstalledProduct(const ProductProfile& profile, int editionIndex);

}  // namespace updater
