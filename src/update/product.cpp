#include "update/product.h"

#include "platform/platform.h"
#include "update/text.h"
#include "update/texts.h"

namespace updater {

const std::array<ProductProfile, 2> kProductProfiles = {{
    {texts::kSwitchTorven, texts::kTorvenKeyFormat, texts::kTorvenNotInstalled, "ormika", "TvzCopyErr.Log"},
    {texts::kSwitchVantrix, texts::kVantrixKeyFormat, texts::kVantrixNotInstalled, "vantrixzai", "VXzCopyErr.Log"},
}};

// Edition 8.0's registry suffix really ends in a blank: that is the key the
// installed product writes.
const std::array<Edition, 8> kEditionTable = {{
    {"4.0", "12", "040"},
    {"5.0", "13", "050"},
    {"6.0", "14", "060"},
    {"6.1", "14b", "061"},
    {"7.0", "15", "070"},
    {"7.1", "15b", "071"},
    {"8.0", "17", "080 "},
    {"8.1", "17b", "081"},
}};

int VersionCodeToIndex(const std::string& code) {
    for (std::size_t index = 0; index < kEditionTable.size(); ++index) {
        if (code == kEditionTable[index].versionCode) return static_cast<int>(index);
    }
    return -1;
}

const ProductProfile* SelectProfile(const std::string& upperSwitch) {
    for (const ProductProfile& profile : kProductProfiles) {
        if (upperSwitch == profile.switchText) return &profile;
    }
    return nullptr;
}

std::string EditionDisplayName(const std::string& editionCode) {
    if (!editionCode.empty() && editionCode.back() == 'b')
        return editionCode.substr(0, editionCode.size() - 1) + texts::kRevisedEditionSuffix;
    return editionCode;
}

std::string ReadRegistryText(const std::string& keyPath, const std::string& valueName) {
    const RegistryKey key = OpenRegistryKey(keyPath);
    std::string text = ReadRegistryString(key, valueName);
    if (EndsWithBackslash(text)) text.pop_back();
    return text;
}

InstalledProduct LookupInstalledProduct(const ProductProfile& profile, int editionIndex) {
    const std::string key = FormatText(profile.keyFormat, {kEditionTable.at(editionIndex).registrySuffix});
    InstalledProduct product;
    product.targetRoot = ReadRegistryText(key, texts::kRootDirValue);
    product.installedVersion = ReadRegistryText(key, texts::kVersionValue);
    return product;
}

}  // namespace updater
