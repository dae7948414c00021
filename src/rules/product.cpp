#include "rules/product.h"

#include <algorithm>
#include <vector>

#include "rules/text.h"
#include "rules/texts.h"

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

namespace {

bool IsAllDigits(const std::string& piece) {
    return !piece.empty() && std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int CompareNumbers(const std::string& a, const std::string& b) {
    const std::string x = a.substr(std::min(a.find_first_not_of('0'), a.size()));
    const std::string y = b.substr(std::min(b.find_first_not_of('0'), b.size()));
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

int ComparePieces(const std::string& a, const std::string& b) {
    if (IsAllDigits(a) && IsAllDigits(b)) return CompareNumbers(a, b);
    return a.compare(b);  // byte-wise, unsigned
}

std::vector<std::string> SplitAtDots(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t dot; (dot = text.find('.', start)) != std::string::npos; start = dot + 1)
        pieces.push_back(text.substr(start, dot - start));
    pieces.push_back(text.substr(start));
    return pieces;
}

}  // namespace

int CompareVersionTexts(const std::string& a, const std::string& b) {
    const std::vector<std::string> left = SplitAtDots(a);
    const std::vector<std::string> right = SplitAtDots(b);
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (const int order = ComparePieces(left[i], right[i]); order != 0) return order < 0 ? -1 : 1;
    }
    if (left.size() == right.size()) return 0;
    return left.size() < right.size() ? -1 : 1;
}

bool SameVersionCode(const std::string& a, const std::string& b) {
    return EditionOfVersionCode(a) == EditionOfVersionCode(b) && CompareVersionTexts(a, b) == 0;
}

}  // namespace updater
