// The Windows layer against the real system (run under Wine by
// tests/e2e/test_platform_layer.py, which makes the fixture files and passes
// their folder in PLATFORM_FIXTURES): registry reads redirected to a scratch
// key, version texts of real PE files, folder listings with their failures,
// the shell copy, special folders and the text file writer.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "seam/copying.h"
#include "seam/errors.h"
#include "seam/files.h"
#include "seam/process.h"
#include "seam/registry.h"
#include "seam/version_info.h"
#include "win32/win32_handles.h"

namespace updater {
namespace {

std::string Fixtures() {
    const char* folder = std::getenv("PLATFORM_FIXTURES");
    return folder ? folder : "";
}

std::string Fixture(const std::string& relative) { return Fixtures() + "\\" + relative; }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

class FixturesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(Fixtures().empty()) << "PLATFORM_FIXTURES is not set"; }
};

// ---- registry --------------------------------------------------------------

// HKEY_LOCAL_MACHINE points at a scratch key of the current user for the
// length of one case, so the real calls read values the case wrote.
class RegistryTest : public ::testing::Test {
protected:
    static constexpr char kScratch[] = "Software\\UpdaterPlatformTest";

    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &scratch_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch_), ERROR_SUCCESS);
        ASSERT_EQ(RegCreateKeyExA(scratch_, "SOFTWARE\\ORMIKA\\TORVENZAIMU071", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &product_, nullptr),
                  ERROR_SUCCESS);
    }

    void TearDown() override {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        if (product_) RegCloseKey(product_);
        if (scratch_) RegCloseKey(scratch_);
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
    }

    void Set(const char* name, DWORD type, const std::string& data) {
        ASSERT_EQ(RegSetValueExA(product_, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

    HKEY scratch_ = nullptr;
    HKEY product_ = nullptr;
};

TEST_F(RegistryTest, TextValuesReadBackAsStoredCutAtTheirFirstNul) {
    Set("RootDir", REG_SZ, std::string("C:\\製品\\\0", 9));
    Set("Expand", REG_EXPAND_SZ, std::string("%SystemDrive%\\Prod\0", 19));
    Set("NoNul", REG_SZ, "7.1.0.9");  // stored without its NUL
    Set("Two", REG_SZ, std::string("first\0second\0", 13));
    Set("Empty", REG_SZ, "");
    const std::string key = "\\SOFTWARE\\ORMIKA\\TORVENZAIMU071";
    EXPECT_EQ(ReadRegistryString(key, "RootDir"), "C:\\製品\\");
    EXPECT_EQ(ReadRegistryString(key, "Expand"), "%SystemDrive%\\Prod");  // not expanded
    EXPECT_EQ(ReadRegistryString(key, "NoNul"), "7.1.0.9");
    EXPECT_EQ(ReadRegistryString(key, "Two"), "first");
    EXPECT_EQ(ReadRegistryString(key, "Empty"), std::nullopt);
    EXPECT_EQ(ReadRegistryString(key, "Missing"), std::nullopt);
}

TEST_F(RegistryTest, AMissingKeyIsEmptyAndANonTextValueRaises) {
    EXPECT_EQ(ReadRegistryString("\\SOFTWARE\\ORMIKA\\TORVENZAIMU080", "RootDir"), std::nullopt);
    Set("Dword", REG_DWORD, std::string("\x05\0\0\0", 4));
    try {
        ReadRegistryString("SOFTWARE\\ORMIKA\\TORVENZAIMU071", "Dword");
        ADD_FAILURE() << "a REG_DWORD value read as text";
    } catch (const PlatformError& error) {
        EXPECT_STREQ(error.kind().c_str(), kRegistryError);
        EXPECT_NE(std::string(error.what()).find("Dword"), std::string::npos) << error.what();
        EXPECT_NE(error.address(), nullptr);
    }
}

// ---- version texts ---------------------------------------------------------

class VersionTest : public FixturesTest {};

TEST_F(VersionTest, OnlyTheJapaneseTableOfAPeFileGivesAText) {
    ASSERT_NO_THROW(PrepareVersionReading());
    EXPECT_EQ(ReadJapaneseFileVersion(Fixture("versions\\japanese.dll")), "13.1.2.80");
    EXPECT_EQ(ReadJapaneseFileVersion(Fixture("versions\\kanji.dll")), "13.1.2.80 版");
    EXPECT_EQ(ReadJapaneseFileVersion(Fixture("versions\\both.dll")), "2.0.0.1");
    EXPECT_EQ(ReadJapaneseFileVersion(Fixture("versions\\english.dll")), std::nullopt);
    EXPECT_EQ(ReadJapaneseFileVersion(Fixture("versions\\noversion.dll")), std::nullopt);
}

TEST_F(VersionTest, FilesThatAreNoPeImageHaveNoText) {
    for (const char* name : {"text.txt", "empty.bin", "mz.bin", "missing.dll", "renamed.txt"})
        EXPECT_EQ(ReadJapaneseFileVersion(Fixture(std::string("versions\\") + name)),
                  name == std::string("renamed.txt") ? std::optional<std::string>("13.1.2.80")
                                                     : std::nullopt)
            << name;
}

// What the portable reader of update-kit found in each of its fixture files
// (PLATFORM_KIT_FIXTURES holds them and expected.txt: one "name<TAB>hex" or
// "name<TAB>none" a line) must be what the version API reads.
std::optional<std::string> FromHex(const std::string& hex) {
    if (hex == "none") return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

TEST(PortableReaderTest, AgreesWithTheVersionApiOnEveryFixture) {
    const char* folder = std::getenv("PLATFORM_KIT_FIXTURES");
    ASSERT_NE(folder, nullptr) << "PLATFORM_KIT_FIXTURES is not set";
    std::ifstream expected(std::string(folder) + "\\expected.txt", std::ios::binary);
    ASSERT_TRUE(expected) << folder;
    int compared = 0;
    for (std::string line; std::getline(expected, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const std::string name = line.substr(0, tab);
        EXPECT_EQ(ReadJapaneseFileVersion(std::string(folder) + "\\" + name), FromHex(line.substr(tab + 1)))
            << name;
        ++compared;
    }
    EXPECT_GT(compared, 20);
}

// ---- folders and files -----------------------------------------------------

class ListingTest : public FixturesTest {};

TEST_F(ListingTest, AFolderListsItsEntriesWithoutDotsAndAnEmptyOneIsNoError) {
    const FolderListing plain = ListFolder(Fixture("listing\\plain"));
    ASSERT_TRUE(plain.ok);
    std::vector<std::string> names;
    for (const FolderEntry& entry : plain.entries) {
        names.push_back(entry.name);
        EXPECT_EQ(entry.folder, entry.name == "sub") << entry.name;
        EXPECT_TRUE(entry.exactName && !entry.link) << entry.name;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", "a.txt", "sub", "表.dll"}));
    const FolderListing empty = ListFolder(Fixture("listing\\empty"));
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.entries.empty());
}

TEST_F(ListingTest, AMissingFolderIsAFailureNotAnEmptyFolder) {
    const FolderListing missing = ListFolder(Fixture("listing\\no such folder"));
    EXPECT_FALSE(missing.ok);
}

TEST_F(ListingTest, ALinkLeadsToTheIdentityOfItsTarget) {
    const FolderListing loop = ListFolder(Fixture("listing\\loop"));
    const FolderListing back = ListFolder(Fixture("listing\\loop\\back"));
    const FolderListing other = ListFolder(Fixture("listing\\plain"));
    ASSERT_TRUE(loop.ok && back.ok && other.ok);
    for (const FolderEntry& entry : loop.entries) EXPECT_EQ(entry.link, entry.name == "back") << entry.name;
    EXPECT_TRUE(back.identity == loop.identity);
    EXPECT_FALSE(other.identity == loop.identity);
    EXPECT_FALSE(ListFolder(Fixture("listing\\plain\\sub")).identity == other.identity);
}

TEST_F(ListingTest, AFolderWhosePathsReachTheAnsiLimitIsNotListedWhole) {
    // A folder whose own path fits the limit, holding a file whose path does not.
    const char* folder = std::getenv("PLATFORM_DEEP_FOLDER");
    ASSERT_NE(folder, nullptr) << "PLATFORM_DEEP_FOLDER is not set";
    const std::string deep = folder;
    ASSERT_LT(deep.size(), static_cast<std::size_t>(MAX_PATH)) << deep;
    const FolderListing listing = ListFolder(deep);
    EXPECT_FALSE(listing.ok) << deep << " listed " << listing.entries.size() << " names";
}

TEST_F(FixturesTest, EntryKindsAndFileExistence) {
    EXPECT_EQ(GetEntryKind(Fixture("listing\\plain\\a.txt")), EntryKind::kFile);
    EXPECT_EQ(GetEntryKind(Fixture("listing\\plain\\sub")), EntryKind::kFolder);
    EXPECT_EQ(GetEntryKind(Fixture("listing\\plain\\none")), EntryKind::kMissing);
    EXPECT_TRUE(FileExists(Fixture("listing\\plain\\a.txt")));
    EXPECT_FALSE(FileExists(Fixture("listing\\plain\\sub")));
    EXPECT_FALSE(FileExists(Fixture("listing\\plain\\none")));
}

// ---- copying and writing ---------------------------------------------------

class CopyTest : public FixturesTest {
protected:
    CopySession session = BeginCopies({Fixture("copy"), Fixture("copy")});
};

TEST_F(CopyTest, ACopyMakesMissingFoldersAndReplacesAnExistingFile) {
    const std::string source = Fixture("copy\\source.txt");
    const std::string fresh = Fixture("copy\\out\\new\\deeper\\fresh.txt");
    ASSERT_TRUE(CopyFileOver(session, source, fresh));
    EXPECT_EQ(ReadAll(fresh), ReadAll(source));
    const std::string existing = Fixture("copy\\existing.txt");
    ASSERT_TRUE(CopyFileOver(session, source, existing));
    EXPECT_EQ(ReadAll(existing), ReadAll(source));
}

TEST_F(CopyTest, ACopyOverAFileHeldWithoutSharingFailsAndKeepsIt) {
    const std::string held = Fixture("copy\\held.txt");
    const std::string before = ReadAll(held);
    const HANDLE file = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const bool copied = CopyFileOver(session, Fixture("copy\\source.txt"), held);
    CloseHandle(file);
    EXPECT_FALSE(copied);
    EXPECT_EQ(ReadAll(held), before);
    EXPECT_EQ(GetEntryKind(Fixture("copy\\~upd.tmp")), EntryKind::kMissing) << "the new file's bytes were left behind";
    EXPECT_FALSE(CopyFileOver(session, Fixture("copy\\no such file.txt"), Fixture("copy\\out\\never.txt")));
    EXPECT_EQ(GetEntryKind(Fixture("copy\\out\\never.txt")), EntryKind::kMissing);
}

TEST_F(CopyTest, AListingForTheCopiesHoldsItsFilesUntilTheirCopy) {
    const std::string folder = Fixture("copy\\listed");
    const std::string file = folder + "\\a.txt";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    WriteAll(file, "listed bytes");
    const FolderListing listing = ListPayloadFolder(session, folder);
    ASSERT_TRUE(listing.ok && listing.entries.size() == 1 && !listing.entries[0].link);
    const auto openForWriting = [&] {
        return CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    };
    EXPECT_EQ(openForWriting(), INVALID_HANDLE_VALUE) << "a listed file can be written before its copy";
    EXPECT_FALSE(MoveFileA(file.c_str(), (folder + "\\moved.txt").c_str()));
    const std::string copy = Fixture("copy\\out\\listed.txt");
    ASSERT_TRUE(CopyFileOver(session, file, copy));
    EXPECT_EQ(ReadAll(copy), "listed bytes");
    const HANDLE writer = openForWriting();
    EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "its copy did not let the file go";
    CloseHandle(writer);
}

TEST_F(CopyTest, ATextFileGetsEveryLineWithCrLfAndAFolderInTheWayRaises) {
    const std::string path = Fixture("copy\\log.txt");
    WriteAll(path, "old content that is longer than the new one\r\n");
    EXPECT_TRUE(SaveTextFile(Fixtures(), "copy", "log.txt", {"New[1.0.0.0] Org[2.0.0.0] FILE[C:\\製品\\a.dll]", ""}));
    EXPECT_EQ(ReadAll(path), "New[1.0.0.0] Org[2.0.0.0] FILE[C:\\製品\\a.dll]\r\n\r\n");
    EXPECT_TRUE(SaveTextFile(Fixtures(), "copy", "new log.txt", {"x"}));
    EXPECT_EQ(ReadAll(Fixture("copy\\new log.txt")), "x\r\n");
    EXPECT_FALSE(SaveTextFile(Fixtures(), "no such folder", "log.txt", {"x"}));
    try {
        SaveTextFile(Fixtures(), "copy", "out", {"x"});
        ADD_FAILURE() << "a folder was written as a file";
    } catch (const PlatformError& error) {
        EXPECT_STREQ(error.kind().c_str(), kFileCreateError);
    }
}

// ---- handle owners ---------------------------------------------------------

// CloseHandle followed by an error of its own (as for a handle it refuses).
int closes = 0;
BOOL CloseReportingAnError(HANDLE handle) {
    ++closes;
    const BOOL closed = CloseHandle(handle);
    SetLastError(ERROR_INVALID_HANDLE);
    return closed;
}

TEST_F(FixturesTest, ReleasingAHandleKeepsTheErrorAboutToBeReported) {
    closes = 0;
    UniqueResource<win32::FileHandleTraits<CloseReportingAnError>> event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    // CreateFile's INVALID_HANDLE_VALUE owns nothing, like null.
    const win32::UniqueFile missing(
        CreateFileA(Fixture("no such file").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const DWORD reported = GetLastError();
    EXPECT_FALSE(missing);
    EXPECT_EQ(reported, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    event.reset();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(GetLastError(), reported);
}

TEST(ShellFolderTest, DocumentsAndApplicationDataAreExistingFolders) {
    for (SpecialFolder folder : {SpecialFolder::kDocuments, SpecialFolder::kApplicationData}) {
        const std::optional<std::string> path = GetSpecialFolder(folder);
        ASSERT_TRUE(path);
        EXPECT_FALSE(path->empty());
        EXPECT_EQ(GetEntryKind(*path), EntryKind::kFolder) << *path;
    }
}

}  // namespace
}  // namespace updater
