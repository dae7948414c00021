#include "rules/product.h"

#include "rules/text.h"
#include "rules/texts.h"
#include "rules/version_key.h"

namespace updater {

const std::array<ProductProfile, 2> kProductProfiles = {{
    {"/TORVEN", "\\SOFTWARE\\ORMIKA\\TORVENZAIMU%s", texts::kTorvenNotInstalled, "ormika", "TvzCopyErr.Log"},
    {"/VANTRIX", "\\SOFTWARE\\VANTRIXZAI\\ZAIMU%s", texts::kVantrixNotInstalled, "vantrixzai", "VXzCopyErr.Log"},
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

int EditionOfVersionCode(const std::string& versionCode) { return VersionCodeToIndex(PadToWidth(versionCode, 3)); }

const ProductProfile* SelectProfile(const std::string& upperSwitch) {
    for (const ProductProfile& profile : kProductProfiles) {
        if (upperSwitch == profile.switchText) return &profile;
    }
    return nullptr;
}

const ProductProfile* ProfileOfProductName(const std::string& name) { return SelectProfile("/" + name); }

std::string EditionDisplayName(const std::string& editionCode) {
    if (!editionCode.empty() && editionCode.back() == 'b')
        return editionCode.substr(0, editionCode.size() - 1) + texts::kRevisedEditionSuffix;
    return editionCode;
}

bool SameVersionCode(const std::string& a, const std::string& b) {
    return EditionOfVersionCode(a) == EditionOfVersionCode(b) && CompareVersionTexts(a, b) == 0;
}

}  // namespace updater
