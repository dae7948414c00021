// The two product lines, the eight editions, and the installed-product lookup.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace updater {

struct ProductProfile {
    const char* switchText;          // compared with the upper-cased first argument
    const char* keyFormat;           // registry key under HKEY_LOCAL_MACHINE, "%s" = suffix
    const char* notInstalledFormat;  // "%s" = the edition's display text
    const char* logFolderName;       // directly under the user's documents folder
    const char* logFileName;
};

struct Edition {
    const char* versionCode;     // the first three characters of the version argument
    const char* editionCode;     // names the edition in messages
    const char* registrySuffix;  // completes the registry key
};

extern const std::array<ProductProfile, 2> kProductProfiles;
extern const std::array<Edition, 8> kEditionTable;

struct InstalledProduct {
    std::string targetRoot;        // "" when the product is not installed
    std::string installedVersion;  // "" when not recorded
};

// Index of the first edition whose version code equals `code`, or -1.
int VersionCodeToIndex(const std::string& code);
// The index of the edition a version code's first three characters name
// (padded with blanks when shorter), or -1.
int EditionOfVersionCode(const std::string& versionCode);
// The profile whose switch equals `upperSwitch`, or nullptr.
const ProductProfile* SelectProfile(const std::string& upperSwitch);
// The profile of the product line `name`, its switch without the "/"
// ("TORVEN"), or nullptr.
const ProductProfile* ProfileOfProductName(const std::string& name);
// "15" stays "15"; "15b" is shown as "15 消改版".
std::string EditionDisplayName(const std::string& editionCode);
// One text value under HKEY_LOCAL_MACHINE with one trailing "\" dropped.
std::string ReadRegistryText(const std::string& keyPath, const std::string& valueName);
// RootDir and Version of the edition's registry key, each read afresh. A
// RootDir of nothing but separators counts as none: the product is not installed.
InstalledProduct LookupInstalledProduct(const ProductProfile& profile, int editionIndex);

// Order of two dotted version texts, piece by piece at the dots: two pieces of
// decimal digits compare as numbers of any length, other pieces byte-wise,
// and a text whose pieces run out first sorts first. <0, 0 or >0.
int CompareVersionTexts(const std::string& a, const std::string& b);

// True when two version codes name one version: the same edition and equal
// by CompareVersionTexts ("7.01.0.12" and "7.1.0.12" compare equal, yet the
// first names edition 7.0).
bool SameVersionCode(const std::string& a, const std::string& b);

}  // namespace updater
