#include "update/installed_product.h"

#include "rules/path.h"
#include "rules/text.h"
#include "seam/registry.h"

namespace updater {

std::string ReadRegistryText(const std::string& keyPath, const std::string& valueName) {
    std::string text = ReadRegistryString(keyPath, valueName).value_or("");
    if (EndsWithBackslash(text)) text.pop_back();
    return text;
}

InstalledProduct LookupInstalledProduct(const ProductProfile& profile, int editionIndex) {
    const std::string key = FormatText(profile.keyFormat, {kEditionTable.at(editionIndex).registrySuffix});
    InstalledProduct product;
    product.targetRoot = ReadRegistryText(key, kRootDirValue);
    // Only an absolute folder is a product folder: anything else resolves
    // against the current folder (the user's documents), and separators
    // alone name the current drive's root or a network path.
    if (!IsAbsoluteFolderPath(product.targetRoot)) product.targetRoot.clear();
    product.installedVersion = ReadRegistryText(key, kVersionValue);
    return product;
}

}  // namespace updater
