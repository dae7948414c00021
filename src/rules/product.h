// The two product lines, the eight editions, and where an installed product
// records itself: pure data and rules (the lookup that reads the registry:
// installed_product.h). The messages a profile shows are in text/texts.h.
#pragma once

#include <array>
#include <string>

namespace updater {

// The values under an edition's registry key: its folder and its version.
inline constexpr char kRootDirValue[] = "RootDir";
inline constexpr char kVersionValue[] = "Version";

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

// True when two version codes name one version: the same edition and equal
// by CompareVersionTexts (version_key.h): "7.01.0.12" and "7.1.0.12" compare
// equal, yet the first names edition 7.0.
bool SameVersionCode(const std::string& a, const std::string& b);

}  // namespace updater
