// The lint of a staged update over real folders made here, with PE files
// from the version reader's fixtures (PE_FIXTURE_DIR). Names on disk are
// UTF-8: they are written as u8 literals, which stay UTF-8 whatever the
// compiler's execution character set.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kit/check.h"
#include "kit/manifest.h"

namespace updater::kit {
namespace {

namespace fs = std::filesystem;

class Staged : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "check_test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        Write("updater.exe", "MZ");
    }
    void TearDown() override { fs::remove_all(root_); }

    void Write(const std::string& relative, const std::string& bytes) {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative, std::ios::binary) << bytes;
    }
    void Fixture(const std::string& relative, const std::string& fixture) {
        fs::create_directories((root_ / relative).parent_path());
        fs::copy_file(fs::path(PE_FIXTURE_DIR) / fixture, root_ / relative);
    }

    CheckResult Check(const CheckOptions& options = {}) { return CheckStaged(root_, options); }

    // "severity path" of every finding, in order.
    std::vector<std::string> Found(const CheckOptions& options = {}) {
        std::vector<std::string> found;
        for (const Finding& f : Check(options).findings)
            found.push_back((f.severity == Severity::kError ? "error " : "warning ") + f.path);
        return found;
    }

    fs::path root_;
};

using Lines = std::vector<std::string>;

TEST_F(Staged, AWellFormedUpdatePassesEvenStrictly) {
    Fixture("bin/ledger.dll", "japanese.pe32.dll");
    Fixture("bin/x64/ledger.dll", "japanese.pe32plus.dll");
    Fixture("bin/both.dll", "both_tables.pe32.dll");
    Write(u8"data/税率表.csv", "1,2\r\n");
    Write("data/text.bin", "MZ but no PE header");
    // The stage command's manifest beside updater.exe, listing every file.
    std::vector<ManifestEntry> entries;
    for (const auto& item : fs::recursive_directory_iterator(root_))
        if (item.is_regular_file())
            entries.push_back(DescribeFile(item.path(), item.path().lexically_relative(root_).generic_string()));
    for (ManifestEntry& entry : entries) std::replace(entry.path.begin(), entry.path.end(), '/', '\\');
    Write(kManifestFileName, ManifestText(entries));
    const CheckResult result = Check();
    EXPECT_TRUE(result.findings.empty()) << FindingsAsText(result, true);
    EXPECT_EQ(result.filesChecked, 5u);
    EXPECT_TRUE(result.Passes(true));
}

TEST_F(Staged, TheUpdaterItsNameAndFilesBesideIt) {
    fs::remove(root_ / "updater.exe");
    Write("bin/a.txt", "a");
    EXPECT_EQ(Found(), Lines({"error updater.exe"}));

    // Any ASCII case is the updater; sub-folder files are skipped only when
    // named exactly like it, byte for byte.
    Write("UPDATER.EXE", "MZ");
    Write("bin/UPDATER.EXE", "skipped");
    Write("lib/updater.exe", "copied");
    Write("bin/UPDATER.EXE.bak", "copied");
    Write("tools/UPDATER.EXE/inner.txt", "skipped with its folder");
    Write("readme.txt", "beside");
    Write("updater.exe.config", "beside");
    EXPECT_EQ(Found(), Lines({"warning bin/UPDATER.EXE", "warning readme.txt", "warning tools/UPDATER.EXE",
                              "warning updater.exe.config"}));
    EXPECT_EQ(Check().filesChecked, 3u);

    // Two updaters in two cases are one file on Windows.
    Write("updater.exe", "MZ");
    EXPECT_EQ(Found(), Lines({"warning bin/UPDATER.EXE", "warning readme.txt", "warning tools/UPDATER.EXE",
                              "error updater.exe", "warning updater.exe.config"}));

    // A folder called updater.exe is not the updater.
    fs::remove(root_ / "UPDATER.EXE");
    fs::remove(root_ / "updater.exe");
    fs::create_directories(root_ / "updater.exe");
    EXPECT_EQ(Found()[0], "error updater.exe");
}

TEST_F(Staged, AnEmptyPayloadWarns) {
    Write("loose.txt", "beside");
    fs::create_directories(root_ / "bin/empty");
    Write("bin/updater.exe", "skipped");
    const CheckResult result = Check();
    EXPECT_EQ(Found(), Lines({"warning bin/updater.exe", "warning loose.txt", "warning ."}));
    EXPECT_TRUE(result.Passes(false));
    EXPECT_FALSE(result.Passes(true));
}

TEST_F(Staged, PeFilesWhoseVersionTheUpdaterCannotUse) {
    Fixture("bin/english.dll", "english_only.pe32plus.dll");
    Fixture("bin/none.dll", "no_version.pe32.dll");
    Fixture("bin/three.dll", "three_items.pe32.dll");
    Fixture("bin/crlf.dll", "crlf.pe32.dll");            // "7.1\r\n0.12": four items
    Fixture("bin/dbcs.dll", "double_byte.pe32plus.dll");  // "13.1.2.80 版": four items
    Fixture("bin/nofv.dll", "no_file_version.pe32.dll");
    Fixture("bin/data.bin", "text.bin");  // not a PE file: nothing to say
    const CheckResult result = Check();
    EXPECT_EQ(Found(), Lines({"warning bin/english.dll", "warning bin/nofv.dll", "warning bin/none.dll",
                              "warning bin/three.dll"}));
    const auto three = std::find_if(result.findings.begin(), result.findings.end(),
                                    [](const Finding& f) { return f.path == "bin/three.dll"; });
    ASSERT_NE(three, result.findings.end());
    EXPECT_NE(three->reason.find("\"7.1.0\" is not four items"), std::string::npos) << three->reason;
    EXPECT_TRUE(result.Passes(false));
}

TEST_F(Staged, NamesCodePage932OrWindowsCannotHold) {
    Write(u8"bin/財務ﾃﾞｰﾀ～①.txt", "fine");
    Write("bin/caf\xC3\xA9.txt", "near match only");      // Windows would make it "cafe.txt"
    Write("bin/\xE2\x82\xAC.txt", "not in the code page");
    Write("bin/\xF0\x9F\x98\x80/x.txt", "surrogate pair");       // the folder is reported, its file is checked too
    Write(u8"bin/波" "\xE3\x80\x9C.txt", "U+301C: Windows has no code for it");
    Write("bin/bad\xFF.txt", "not UTF-8");
    Write("bin/a\\b.txt", "a separator on Windows");
    Write("bin/what?.txt", "forbidden");
    Write("bin/dot.", "dropped by Windows");
    EXPECT_EQ(Found(), Lines({"error bin/a\\b.txt", "error bin/bad\xFF.txt", "error bin/caf\xC3\xA9.txt",
                              "error bin/dot.", "error bin/what?.txt", "error bin/\xE2\x82\xAC.txt",
                              u8"error bin/波" "\xE3\x80\x9C.txt", "error bin/\xF0\x9F\x98\x80"}));
    EXPECT_EQ(Check().filesChecked, 9u);
}

TEST_F(Staged, NamesThatDifferOnlyInCase) {
    Write("bin/Readme.txt", "1");
    Write("bin/README.TXT", "2");
    Write(u8"bin/ｆｏｏ.dat", "full-width");
    Write(u8"bin/ＦＯＯ.dat", "full-width");
    Write(u8"bin/foo.dat", "ASCII: another name than the full-width one");
    Write(u8"bin/αβ", "Greek");
    Write(u8"bin/ΑΒ", "Greek");
    Write(u8"bin/ё", "Cyrillic");
    Write(u8"bin/Ё", "Cyrillic");
    Write(u8"bin/ⅰ", "Roman numeral");
    Write(u8"bin/Ⅰ", "Roman numeral");
    Write(u8"bin/あ", "no case");
    Write(u8"bin/ア", "no case");
    Write("data/x", "1");
    Write("DATA/x", "2");
    const CheckResult result = Check();
    // Names are met in byte order: the second of each pair is reported.
    EXPECT_EQ(Found(), Lines({"error bin/Readme.txt", u8"error bin/αβ", u8"error bin/ё", u8"error bin/ⅰ",
                              u8"error bin/ｆｏｏ.dat", "error data"}));
    EXPECT_NE(result.findings[0].reason.find("\"README.TXT\""), std::string::npos) << result.findings[0].reason;
}

TEST_F(Staged, LinksInsideThePayload) {
    Write("bin/real/x.txt", "x");
    Write("outside.txt", "beside");
    fs::create_directory_symlink("real", root_ / "bin/to-folder");
    fs::create_directory_symlink(root_ / "bin", root_ / "linked-bin");
    fs::create_symlink("missing.txt", root_ / "bin/broken");
    fs::create_symlink("../outside.txt", root_ / "bin/to-file");
    Write("hard/a.txt", "two names");
    fs::create_hard_link(root_ / "hard/a.txt", root_ / "hard/b.txt");
    ASSERT_EQ(mkfifo((root_ / "bin/fifo").c_str(), 0600), 0);
    EXPECT_EQ(Found(), Lines({"error bin/broken", "error bin/fifo", "error bin/to-file", "error bin/to-folder",
                              "error hard/a.txt", "error hard/b.txt", "error linked-bin", "warning outside.txt"}));
    EXPECT_EQ(Check().filesChecked, 1u);
}

// Paths count in code page 932 bytes; 259 is the longest a path may be.
TEST_F(Staged, PathLimitOnBothSides) {
    CheckOptions options;
    options.sourceRoot = "C:\\S";   // 4 bytes; "C:\S\d\" is 7
    options.targetRoot = "D:\\T\\";  // the trailing "\" is dropped: 4 bytes as well
    Write("d/" + std::string(252, 'a'), "259 bytes");
    Write("d/" + std::string(253, 'b'), "260 bytes");
    Write(u8"d/" + std::string(250, 'c') + u8"あ", "259 bytes: one double-byte character");
    Write(u8"d/" + std::string(251, 'e') + u8"あ", "260 bytes");
    EXPECT_EQ(Found(options), Lines({"error d/" + std::string(253, 'b'), "error d/" + std::string(253, 'b'),
                                     u8"error d/" + std::string(251, 'e') + u8"あ",
                                     u8"error d/" + std::string(251, 'e') + u8"あ"}));

    // A longer target root: only the destination side passes the limit.
    fs::remove_all(root_ / "d");
    Write("d/" + std::string(250, 'a'), "257 bytes here, 259 there");
    Write("d/" + std::string(251, 'b'), "258 bytes here, 260 there");
    options.targetRoot = "D:\\TTT";
    const CheckResult result = Check(options);
    ASSERT_EQ(result.findings.size(), 1u) << FindingsAsText(result, false);
    EXPECT_EQ(result.findings[0].path, "d/" + std::string(251, 'b'));
    EXPECT_EQ(result.findings[0].reason.rfind("destination path of 260 bytes", 0), 0u) << result.findings[0].reason;
}

// A root that ends in a double-byte character whose second byte is "\" (ソ
// is 0x83 0x5C) keeps that character whole, with or without trailing "\".
TEST_F(Staged, ARootEndingInADoubleByteCharacterWithTrailByteBackslash) {
    CheckOptions options;
    options.sourceRoot = "C:\\S";
    // "C:\Apps\ソ" is 10 bytes: "C:\Apps\ソ\d\" and 246 make 259, 247 make 260.
    Write("d/" + std::string(246, 'a'), "259 bytes there");
    Write("d/" + std::string(247, 'b'), "260 bytes there");
    for (const char* root : {u8"C:\\Apps\\ソ", u8"C:\\Apps\\ソ\\\\"}) {
        options.targetRoot = root;
        const CheckResult result = Check(options);
        ASSERT_EQ(result.findings.size(), 1u) << root << "\n" << FindingsAsText(result, false);
        EXPECT_EQ(result.findings[0].path, "d/" + std::string(247, 'b'));
        EXPECT_EQ(result.findings[0].reason, u8"destination path of 260 bytes passes the ANSI limit of 259: "
                                             u8"C:\\Apps\\ソ\\d\\" + std::string(247, 'b'));
    }
}

TEST_F(Staged, AFolderPastTheLimitIsReportedOnceForEachSide) {
    CheckOptions options;
    options.sourceRoot = "C:\\S";
    options.targetRoot = "D:\\T";
    // "C:\S\d\" + 200 + "\" + 60: 268 bytes (a Linux name holds 255 at most).
    const std::string folder = "d/" + std::string(200, 'f') + "/" + std::string(60, 'g');
    Write(folder + "/one.txt", "1");
    Write(folder + "/deeper/two.txt", "2");
    EXPECT_EQ(Found(options), Lines({"error " + folder, "error " + folder}));
}

// The default roots: "C:\Users\" + 20 characters + "\Downloads\" + the
// staged folder's name on the source side, the product's usual folder on the other.
TEST_F(Staged, DefaultRootsAndWhatTheyAllow) {
    const std::string sourceRoot = std::string(kDefaultSourceParent) + "\\" + root_.filename().string();
    ASSERT_EQ(std::string(kDefaultSourceParent).size(), 39u);
    const std::size_t targetRoot = std::string(kDefaultTargetRoot).size();
    // The longer root decides; its longest file name directly in "d\".
    const std::size_t longest = kAnsiPathLimit - std::max(sourceRoot.size(), targetRoot) - 3;
    Write("d/" + std::string(longest, 'a'), "fits");
    EXPECT_TRUE(Found().empty());
    Write("d/" + std::string(longest + 1, 'b'), "does not");
    EXPECT_EQ(Found(), Lines({"error d/" + std::string(longest + 1, 'b')}));
    // Roots that code page 932 cannot spell are refused.
    CheckOptions options;
    options.targetRoot = "C:\\\xE2\x82\xAC";
    EXPECT_THROW(Check(options), std::invalid_argument);
}

}  // namespace
}  // namespace updater::kit
