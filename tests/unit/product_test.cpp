#include <gtest/gtest.h>

#include "rules/product.h"
#include "scenario.h"
#include "seam/errors.h"
#include "update/installed_product.h"

namespace updater {
namespace {

struct EditionRow {
    const char* code;
    int index;
    const char* displayName;
    const char* suffix;
};

TEST(EditionTable, EveryVersionCodeFindsItsEdition) {
    const EditionRow rows[] = {
        {"4.0", 0, "12", "040"},          {"5.0", 1, "13", "050"},           {"6.0", 2, "14", "060"},
        {"6.1", 3, "14 消改版", "061"}, {"7.0", 4, "15", "070"},           {"7.1", 5, "15 消改版", "071"},
        {"8.0", 6, "17", "080 "},         {"8.1", 7, "17 消改版", "081"},
    };
    for (const EditionRow& row : rows) {
        SCOPED_TRACE(row.code);
        const int index = VersionCodeToIndex(row.code);
        ASSERT_EQ(index, row.index);
        EXPECT_EQ(EditionDisplayName(kEditionTable[index].editionCode), row.displayName);
        EXPECT_STREQ(kEditionTable[index].registrySuffix, row.suffix);
    }
}

TEST(EditionTable, CodesMatchExactlyOrNotAtAll) {
    for (const char* code : {"7.2", "07.", "7,1", "   ", "7.1 ", "7.", ""}) {
        EXPECT_EQ(VersionCodeToIndex(code), -1) << '"' << code << '"';
    }
}

TEST(SelectProfile, TakesOnlyTheExactUpperCaseSwitch) {
    ASSERT_NE(SelectProfile("/TORVEN"), nullptr);
    EXPECT_STREQ(SelectProfile("/TORVEN")->logFileName, "TvzCopyErr.Log");
    EXPECT_STREQ(SelectProfile("/VANTRIX")->logFolderName, "vantrixzai");
    EXPECT_EQ(SelectProfile("/torven"), nullptr);
    EXPECT_EQ(SelectProfile("/TORVEN "), nullptr);
    EXPECT_EQ(SelectProfile("-TORVEN"), nullptr);
    EXPECT_EQ(SelectProfile(""), nullptr);
}

using Lookup = Scenario;

TEST_F(Lookup, ReadsRootDirWithOneTrailingBackslashDropped) {
    InstalledProduct(kTorven71Key, "D:\\Product\\", "7.1.0.9");
    const updater::InstalledProduct product = LookupInstalledProduct(kProductProfiles[0], 5);
    EXPECT_EQ(product.targetRoot, "D:\\Product");
    EXPECT_EQ(product.installedVersion, "7.1.0.9");

    world().SetRegistryValue(kTorven71Key, "RootDir", {fake::kRegSz, "D:\\APP\\\\"});
    EXPECT_EQ(ReadRegistryText(kTorven71Key, "RootDir"), "D:\\APP\\");
    // A folder name ending in "ソ" (trail byte 0x5C) keeps its last character.
    world().SetRegistryValue(kTorven71Key, "RootDir", {fake::kRegSz, "D:\\\x83\x5C"});
    EXPECT_EQ(ReadRegistryText(kTorven71Key, "RootDir"), "D:\\\x83\x5C");
}

TEST_F(Lookup, Edition80ReadsTheKeyWhoseNameEndsInABlank) {
    InstalledProduct("\\SOFTWARE\\ORMIKA\\TORVENZAIMU080 ", "D:\\P80", "8.0.1");
    InstalledProduct("\\SOFTWARE\\ORMIKA\\TORVENZAIMU080", "D:\\Wrong", "8.0.1");
    EXPECT_EQ(LookupInstalledProduct(kProductProfiles[0], 6).targetRoot, "D:\\P80");
    InstalledProduct("\\SOFTWARE\\VANTRIXZAI\\ZAIMU081", "E:\\V", "8.1.0.0");
    EXPECT_EQ(LookupInstalledProduct(kProductProfiles[1], 7).targetRoot, "E:\\V");
}

TEST_F(Lookup, MissingValuesGiveEmptyTextsAndEachReadOpensTheKeyAfresh) {
    world().SetRegistryValue(kTorven71Key, "Version", {fake::kRegSz, "7.1.0.9"});
    const updater::InstalledProduct product = LookupInstalledProduct(kProductProfiles[0], 5);
    EXPECT_EQ(product.targetRoot, "");
    EXPECT_EQ(product.installedVersion, "7.1.0.9");
    EXPECT_EQ(world().registryOpens, 2);

    const updater::InstalledProduct missing = LookupInstalledProduct(kProductProfiles[1], 5);
    EXPECT_EQ(missing.targetRoot, "");
    EXPECT_EQ(missing.installedVersion, "");
}

TEST_F(Lookup, ExpandableTextIsReturnedUnexpandedAndOtherTypesRaise) {
    world().SetRegistryValue(kTorven71Key, "RootDir", {fake::kRegExpandSz, "%ProgramFiles%\\P"});
    EXPECT_EQ(ReadRegistryText(kTorven71Key, "RootDir"), "%ProgramFiles%\\P");
    world().SetRegistryValue(kTorven71Key, "RootDir", {fake::kRegDword, std::string("\x01\0\0\0", 4)});
    try {
        ReadRegistryText(kTorven71Key, "RootDir");
        FAIL() << "a DWORD value must raise";
    } catch (const PlatformError& error) {
        EXPECT_STREQ(error.what(), "'RootDir' のデータ型が不正です");
        EXPECT_EQ(error.kind(), kRegistryError);
    }
    // An empty binary value has no data: empty text, no error.
    world().SetRegistryValue(kTorven71Key, "RootDir", {fake::kRegBinary, ""});
    EXPECT_EQ(ReadRegistryText(kTorven71Key, "RootDir"), "");
}

// Only an absolute folder is a product folder; anything else would resolve
// against the current folder, the user's documents.
TEST_F(Lookup, ARootDirThatIsNotAnAbsoluteFolderIsNoInstalledProduct) {
    for (const char* rootDir : {"\\", "\\\\", "\\\\\\", "\\\\\\\\", "ORMIKA", "C:ORMIKA", "\\ORMIKA", "1:\\x",
                                "\\\\server", "\\\\server\\", "\\\\?\\C:\\ORMIKA", "\\\\.\\C:\\ORMIKA",
                                "//?/C:/ORMIKA"}) {
        SCOPED_TRACE(rootDir);
        InstalledProduct(kTorven71Key, rootDir, "7.1.0.9");
        const updater::InstalledProduct product = LookupInstalledProduct(kProductProfiles[0], 5);
        EXPECT_EQ(product.targetRoot, "");
        EXPECT_EQ(product.installedVersion, "7.1.0.9");
    }
    const std::pair<const char*, const char*> kept[] = {
        {"\\\\server\\share\\", "\\\\server\\share"}, {"D:\\", "D:"}, {"d:\\App\\", "d:\\App"},
        {"D:/App", "D:/App"}, {"\\\\サーバ\\共有\\製品", "\\\\サーバ\\共有\\製品"}};
    for (const auto& [rootDir, targetRoot] : kept) {
        SCOPED_TRACE(rootDir);
        InstalledProduct(kTorven71Key, rootDir, "7.1.0.9");
        EXPECT_EQ(LookupInstalledProduct(kProductProfiles[0], 5).targetRoot, targetRoot);
    }
}

}  // namespace
}  // namespace updater
