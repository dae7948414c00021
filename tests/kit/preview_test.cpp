// update-kit preview over real temporary folders: the updater's decisions,
// the order Windows lists names in, links, unlistable folders, names code
// page 932 cannot spell, and the report's bytes.
//
// Sources are compiled with code page 932 literals: names on the seam are
// plain literals, names on disk are u8 literals.
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

#include "kit/commands.h"
#include "kit/preview/listing.h"
#include "kit/preview/preview.h"
#include "kit/preview/preview_world.h"

namespace updater::kit {
namespace {

namespace fs = std::filesystem;

constexpr char kTarget[] = "C:\\Program Files (x86)\\ORMIKA\\TORVEN";

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "preview-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        staged_ = root_ / "staged";
        installed_ = root_ / "installed";
        fs::create_directories(staged_);
        fs::create_directories(installed_);
        Data(staged_, "updater.exe", "the updater\n");
    }
    void TearDown() override { fs::remove_all(root_); }

    // A payload DLL from the fixtures at `rel` (UTF-8, "/" between names).
    static void Dll(const fs::path& base, const std::string& rel, const std::string& fixture) {
        const fs::path path = base / fs::u8path(rel);
        fs::create_directories(path.parent_path());
        fs::copy_file(fs::path(PREVIEW_FIXTURE_DIR) / (fixture + ".dll"), path, fs::copy_options::overwrite_existing);
    }
    static void Data(const fs::path& base, const std::string& rel, const std::string& content) {
        const fs::path path = base / fs::u8path(rel);
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }

    Preview Make(const std::string& targetRoot = kTarget, const std::string& sourceRoot = kDefaultSourceRoot) {
        PreviewOptions options;
        options.staged = staged_;
        options.installed = installed_;
        options.targetRoot = targetRoot;
        options.sourceRoot = sourceRoot;
        return MakePreview(options);
    }

    static std::vector<std::string> Paths(const Preview& preview) {
        std::vector<std::string> paths;
        for (const PreviewEntry& entry : preview.entries) paths.push_back(entry.relativePath);
        return paths;
    }

    fs::path root_, staged_, installed_;
};

struct Expected {
    PreviewAction action;
    std::string path;
    std::string newStamp;
    std::optional<std::string> installedStamp;
};

std::string LeftAlone(const std::string& newStamp, const std::string& oldStamp, const std::string& rel) {
    return "New[" + newStamp + "] Org[" + oldStamp + "] FILE[" + kTarget + "\\" + rel + "]\r\n";
}

TEST_F(PreviewTest, EveryCaseOfTheDecisionWithBothVersionsAndTheReportBytes) {
    Dll(staged_, "Pkg/bin/older.dll", "ja_13.1.2.80");
    // One installed folder, named in other cases than the payload's.
    Dll(installed_, "pkg/BIN/older.dll", "ja_13.1.2.76");
    Dll(staged_, "Pkg/bin/newer.dll", "ja_13.1.2.76");
    Dll(installed_, "pkg/BIN/newer.dll", "ja_13.1.2.80");
    Dll(staged_, "Pkg/bin/EQUAL.dll", "ja_1.0.0.0");
    Dll(installed_, "pkg/BIN/equal.DLL", "ja_1.0.0.0");
    // Compared as numbers: 13.9 is older than 13.10.
    Dll(staged_, "Pkg/bin/numeric.dll", "ja_13.9.0.1");
    Dll(installed_, "pkg/BIN/numeric.dll", "ja_13.10.0.1");
    Dll(staged_, "Pkg/bin/english.dll", "en_1.0.0.0");
    Dll(installed_, "pkg/BIN/english.dll", "ja_2.0.0.0");
    Dll(staged_, "Pkg/bin/three.dll", "ja_three");
    Dll(installed_, "pkg/BIN/three.dll", "ja_2.0.0.0");
    Dll(staged_, "Pkg/bin/oldnone.dll", "ja_1.0.0.0");
    Dll(installed_, "pkg/BIN/oldnone.dll", "none");
    // An installed stamp with a line break inside: one line in the report.
    Dll(staged_, "Pkg/bin/crlf.dll", "ja_13.1.2.76");
    Dll(installed_, "pkg/BIN/crlf.dll", "ja_crlf");
    Dll(staged_, u8"Pkg/表/説明.dll", "ja_1.0.0.0");
    Data(staged_, "Pkg/updater.exe", "skipped at every depth\n");
    Data(staged_, "Pkg2/a.txt", "data\n");
    Data(installed_, "Pkg2/a.txt", "old data\n");
    Data(staged_, "loose.txt", "beside the updater: never copied\n");

    const Preview preview = Make();

    using A = PreviewAction;
    const std::vector<Expected> expected = {
        {A::kLeaveAlone, "Pkg\\bin\\crlf.dll", "13.1.2.76", "13.1.\r\n2.80"},
        {A::kCopyNewWithoutVersion, "Pkg\\bin\\english.dll", "0.0.0.0", "2.0.0.0"},
        {A::kCopyInstalledEqual, "Pkg\\bin\\EQUAL.dll", "1.0.0.0", "1.0.0.0"},
        {A::kLeaveAlone, "Pkg\\bin\\newer.dll", "13.1.2.76", "13.1.2.80"},
        {A::kLeaveAlone, "Pkg\\bin\\numeric.dll", "13.9.0.1", "13.10.0.1"},
        {A::kCopyInstalledOlder, "Pkg\\bin\\older.dll", "13.1.2.80", "13.1.2.76"},
        {A::kCopyInstalledWithoutVersion, "Pkg\\bin\\oldnone.dll", "1.0.0.0", "0.0.0.0"},
        {A::kCopyNewWithoutVersion, "Pkg\\bin\\three.dll", "0.0.0.0", "2.0.0.0"},
        {A::kCopyNewFile, "Pkg\\表\\説明.dll", "1.0.0.0", std::nullopt},
        {A::kCopyInstalledWithoutVersion, "Pkg2\\a.txt", "0.0.0.0", "0.0.0.0"},
    };
    ASSERT_EQ(preview.entries.size(), expected.size()) << ::testing::PrintToString(Paths(preview));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].path);
        EXPECT_EQ(ActionText(preview.entries[i].action), ActionText(expected[i].action));
        EXPECT_EQ(preview.entries[i].relativePath, expected[i].path);
        EXPECT_EQ(preview.entries[i].newStamp, expected[i].newStamp);
        EXPECT_EQ(preview.entries[i].installedStamp, expected[i].installedStamp);
    }
    EXPECT_TRUE(preview.succeeds);
    EXPECT_EQ(preview.endBoxText, "インストールは正常に終了しました。");
    EXPECT_EQ(preview.logName, "Documents\\ormika\\TvzCopyErr.Log");
    ASSERT_TRUE(preview.report.has_value());
    EXPECT_EQ(*preview.report, LeftAlone("13.1.2.76", "13.1.  2.80", "Pkg\\bin\\crlf.dll") +
                                   LeftAlone("13.1.2.76", "13.1.2.80", "Pkg\\bin\\newer.dll") +
                                   LeftAlone("13.9.0.1", "13.10.0.1", "Pkg\\bin\\numeric.dll"));
    // Nothing on disk changed.
    EXPECT_EQ(Read(installed_ / "Pkg2" / "a.txt"), "old data\n");
    EXPECT_EQ(Read(installed_ / "pkg" / "BIN" / "older.dll"),
              Read(fs::path(PREVIEW_FIXTURE_DIR) / "ja_13.1.2.76.dll"));
    EXPECT_FALSE(fs::exists(installed_ / "Pkg"));
}

TEST_F(PreviewTest, NamesComeInTheOrderWindowsListsThem) {
    // Upper-cased UTF-16 order: "_" after "Z", and the double-byte names in
    // UTF-16 order (hiragana, kanji, full-width letters), not in their code
    // page 932 byte order (full-width letters first).
    for (const char* name : {u8"Ａ.txt", u8"_a.txt", u8"漢.txt", u8"Z.txt", u8"あ.txt", u8"b.txt"})
        Data(staged_, std::string("P/") + name, "x");
    EXPECT_EQ(Paths(Make()), (std::vector<std::string>{"P\\b.txt", "P\\Z.txt", "P\\_a.txt", "P\\あ.txt",
                                                        "P\\漢.txt", "P\\Ａ.txt"}));
    EXPECT_TRUE(preview::ListsBefore("b", "C"));
    EXPECT_TRUE(preview::ListsBefore("B", "b"));  // equal but for case: by the units
    EXPECT_FALSE(preview::ListsBefore("b", "B"));
}

TEST_F(PreviewTest, ALinkInThePayloadFailsItsFolderAsTheUpdaterWould) {
    Data(staged_, "Pkg/bin/a.txt", "a");
    fs::create_directory_symlink(staged_ / "Pkg" / "bin", staged_ / "Pkg" / "bin" / "loop");
    Data(staged_, "Pkg/p/one.txt", "1");

    const Preview preview = Make();
    EXPECT_TRUE(Paths(preview).empty());
    EXPECT_FALSE(preview.succeeds);
    EXPECT_EQ(preview.unreadableFolder, "C:\\update\\Pkg\\bin");
}

TEST_F(PreviewTest, AFolderPastTheAnsiLimitEndsTheRunWithTheCopyFailedBox) {
    Data(staged_, "A/first.txt", "copied before the listing fails");
    // "C:\update\B\<200>\<30>\" takes 244 bytes: a name of 19 more reaches 260.
    const std::string deep = "B/" + std::string(200, 'd') + "/" + std::string(30, 'e');
    Data(staged_, deep + "/" + std::string(15, 'f') + ".txt", "too deep");
    Data(staged_, "C/later.txt", "never reached");

    const Preview preview = Make();
    EXPECT_EQ(Paths(preview), std::vector<std::string>{"A\\first.txt"});
    EXPECT_FALSE(preview.succeeds);
    EXPECT_EQ(preview.endBoxText, "ファイルのコピーに失敗しました。");
    const std::string folder = "C:\\update\\B\\" + std::string(200, 'd') + "\\" + std::string(30, 'e');
    EXPECT_EQ(preview.unreadableFolder, folder);
    EXPECT_EQ(preview.report, "New[0.0.0.0]  FILE[" + folder + "\\]\r\n");

    // A shorter source root makes the same tree fit.
    const Preview shorter = Make(kTarget, "E:\\");
    EXPECT_TRUE(shorter.succeeds);
    EXPECT_EQ(shorter.entries.size(), 3u);
}

TEST_F(PreviewTest, ANameThatIsNotExactlyItselfOnWindowsFailsItsFolderAsTheUpdaterWould) {
    Data(staged_, u8"A/first.txt", "copied before");
    Data(staged_, u8"B/日本.txt", "fine, but in a folder that fails");
    Data(staged_, u8"C/later.txt", "never reached");
    for (const char* name : {u8"B/snow☃.txt", u8"B/wave〜.txt", u8"B/yen¥..¥x.txt", u8"B/x.dat.", u8"B/nul.txt"}) {
        SCOPED_TRACE(name);
        Data(staged_, name, "not itself on Windows");
        const Preview preview = Make();
        EXPECT_FALSE(preview.succeeds);
        EXPECT_EQ(Paths(preview), std::vector<std::string>{"A\\first.txt"});
        EXPECT_EQ(preview.unreadableFolder, "C:\\update\\B");
        EXPECT_EQ(preview.report, std::string("New[0.0.0.0]  FILE[C:\\update\\B\\]\r\n"));
        std::filesystem::remove(staged_ / std::filesystem::u8path(name));
    }
}

TEST_F(PreviewTest, DriveRootsOnBothSides) {
    Dll(staged_, "Pkg/keep.dll", "ja_1.0.0.0");
    Dll(installed_, "Pkg/keep.dll", "ja_2.0.0.0");
    Data(staged_, "Top/x.txt", "x");
    // RootDir "D:\" is the target root "D:"; the destinations are D:\...
    const Preview preview = Make("D:\\", "E:\\");
    EXPECT_EQ(preview.targetRoot, "D:");
    EXPECT_EQ(preview.sourceRoot, "E:\\");
    EXPECT_EQ(Paths(preview), (std::vector<std::string>{"Pkg\\keep.dll", "Top\\x.txt"}));
    EXPECT_EQ(preview.report, std::string("New[1.0.0.0] Org[2.0.0.0] FILE[D:\\Pkg\\keep.dll]\r\n"));
}

std::uint32_t Le(const std::string& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

// A DLL's bytes with the raw data of the section holding its resources moved
// to `offset` (its old place zeroed), then `tail` bytes of padding: the
// version can only be found by reading there.
std::string WithResourcesAt(std::string dll, std::uint32_t offset, std::size_t tail) {
    const std::size_t fileHeader = Le(dll, 0x3C, 4) + 4;
    const std::size_t sections = Le(dll, fileHeader + 2, 2);
    const std::size_t optional = fileHeader + 20;
    const std::size_t directories = optional + (Le(dll, optional, 2) == 0x20B ? 112 : 96);
    const std::uint32_t resourceRva = Le(dll, directories + 2 * 8, 4);
    const std::size_t table = optional + Le(dll, fileHeader + 16, 2);
    for (std::size_t i = 0; i < sections; ++i) {
        const std::size_t header = table + 40 * i;
        const std::uint32_t rva = Le(dll, header + 12, 4);
        const std::uint32_t rawSize = Le(dll, header + 16, 4);
        const std::uint32_t rawAt = Le(dll, header + 20, 4);
        if (resourceRva < rva || resourceRva - rva >= rawSize) continue;
        const std::string raw = dll.substr(rawAt, rawSize);
        std::fill(dll.begin() + rawAt, dll.begin() + rawAt + rawSize, '\0');
        if (dll.size() < offset) dll.resize(offset, '\0');
        dll.replace(offset, std::min<std::size_t>(rawSize, dll.size() - offset), raw);
        for (int byte = 0; byte < 4; ++byte) dll[header + 20 + byte] = static_cast<char>((offset >> (8 * byte)) & 0xFF);
        return dll + std::string(tail, '\x5A');
    }
    ADD_FAILURE() << "no section holds the resources";
    return dll;
}

// Versions found past the first 4 KiB of a file, and in a file with a large
// tail after its sections.
TEST_F(PreviewTest, VersionsAreFoundWhereverTheResourcesLie) {
    const std::string newer = Read(fs::path(PREVIEW_FIXTURE_DIR) / "ja_13.10.0.1.dll");
    const std::string older = Read(fs::path(PREVIEW_FIXTURE_DIR) / "ja_13.9.0.1.dll");
    ASSERT_LT(newer.size(), 16384u);
    Data(staged_, "Pkg/far.dll", WithResourcesAt(newer, 0x6000, 0));
    Data(installed_, "Pkg/far.dll", WithResourcesAt(older, 0x3000, std::size_t{3} << 20));
    Data(staged_, "Pkg/moved.dll", WithResourcesAt(older, 0x1200, 0));
    Data(installed_, "Pkg/moved.dll", WithResourcesAt(newer, 0x4000, 100));
    Data(staged_, "Pkg/near.dll", newer + std::string(std::size_t{2} << 20, '\0'));

    const Preview preview = Make();
    ASSERT_EQ(preview.entries.size(), 3u);
    EXPECT_EQ(preview.entries[0].relativePath, "Pkg\\far.dll");
    EXPECT_EQ(ActionText(preview.entries[0].action), ActionText(PreviewAction::kCopyInstalledOlder));
    EXPECT_EQ(preview.entries[0].newStamp, "13.10.0.1");
    EXPECT_EQ(preview.entries[0].installedStamp, "13.9.0.1");
    EXPECT_EQ(preview.entries[1].relativePath, "Pkg\\moved.dll");
    EXPECT_EQ(ActionText(preview.entries[1].action), ActionText(PreviewAction::kLeaveAlone));
    EXPECT_EQ(preview.entries[1].newStamp, "13.9.0.1");
    EXPECT_EQ(preview.entries[1].installedStamp, "13.10.0.1");
    EXPECT_EQ(preview.entries[2].relativePath, "Pkg\\near.dll");
    EXPECT_EQ(preview.entries[2].newStamp, "13.10.0.1");
}

// The command as a user runs it: its exit codes, its output and the report file.
class PreviewCommandTest : public PreviewTest {
protected:
    int Run(Arguments arguments, std::string* out = nullptr) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int code = PreviewCommand(arguments);
        std::fflush(stdout);
        const std::string printed = ::testing::internal::GetCapturedStdout();
        errors_ = ::testing::internal::GetCapturedStderr();
        if (out) *out = printed;
        return code;
    }
    std::string errors_;
};

TEST_F(PreviewCommandTest, BadUsageIsTwoAndHelpNamesTheDefaults) {
    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(Run({staged_.string()}), 2);
    EXPECT_EQ(Run({staged_.string(), (root_ / "missing").string()}), 2);
    EXPECT_NE(errors_.find("not a folder"), std::string::npos) << errors_;
    EXPECT_EQ(Run({staged_.string(), installed_.string(), "--target-root"}), 2);
    EXPECT_EQ(Run({staged_.string(), installed_.string(), "--target-root", "\\\\"}), 2);
    EXPECT_EQ(Run({staged_.string(), installed_.string(), "--product", "OTHER"}), 2);
    EXPECT_EQ(Run({staged_.string(), installed_.string(), "--bogus"}), 2);
    const std::string unspellable = u8"C:\\snow☃";
    EXPECT_EQ(Run({staged_.string(), installed_.string(), "--target-root", unspellable}), 2);
    std::string help;
    EXPECT_EQ(Run({"--help"}, &help), 0);
    EXPECT_NE(help.find("C:\\Program Files (x86)\\ORMIKA\\TORVEN"), std::string::npos) << help;
    EXPECT_NE(help.find("C:\\update"), std::string::npos) << help;
}

TEST_F(PreviewCommandTest, PrintsOneLineAFileTheEndAndTheReportAndWritesItsBytes) {
    Dll(staged_, u8"Pkg/製品/new.dll", "ja_13.1.2.76");
    Dll(installed_, u8"Pkg/製品/new.dll", "ja_13.1.2.80");
    Data(staged_, "Pkg/a.txt", "a");
    const fs::path report = root_ / "report.bin";
    std::string out;
    ASSERT_EQ(Run({staged_.string(), installed_.string(), "--target-root", u8"Z:\\製品ソ", "--product", "vantrix",
                   "--report-bytes", report.string()},
                  &out),
              0)
        << errors_;
    EXPECT_EQ(out,
              u8"copy (new file)\tPkg\\a.txt\t0.0.0.0\t-\n"
              u8"leave alone (installed copy newer)\tPkg\\製品\\new.dll\t13.1.2.76\t13.1.2.80\n"
              u8"\n"
              u8"files: 1 to copy, 1 left alone\n"
              u8"end: information box \"インストールは正常に終了しました。\"\n"
              u8"report: 1 line, 64 bytes (code page 932, each line ending in CR LF), written to "
              u8"Documents\\vantrixzai\\VXzCopyErr.Log when that folder exists:\n"
              u8"New[13.1.2.76] Org[13.1.2.80] FILE[Z:\\製品ソ\\Pkg\\製品\\new.dll]\n");
    EXPECT_EQ(Read(report), "New[13.1.2.76] Org[13.1.2.80] FILE[Z:\\製品ソ\\Pkg\\製品\\new.dll]\r\n");
    // Nothing but results on a non-terminal.
    EXPECT_EQ(errors_, "");
}

TEST_F(PreviewCommandTest, ARunThatWouldFailIsOneAndAnEmptyReportSaysSo) {
    Data(staged_, "Pkg/a.txt", "a");
    const fs::path report = root_ / "report.bin";
    std::string out;
    ASSERT_EQ(Run({staged_.string(), installed_.string(), "--report-bytes", report.string()}, &out), 0);
    EXPECT_NE(out.find("report: none"), std::string::npos) << out;
    EXPECT_EQ(Read(report), "");

    Data(staged_, "B/" + std::string(200, 'g') + "/" + std::string(60, 'f') + ".txt", "past the limit");
    ASSERT_EQ(Run({staged_.string(), installed_.string()}, &out), 1);
    EXPECT_NE(out.find(u8"end: copy-failed (error) box \"ファイルのコピーに失敗しました。\": the folder C:\\update\\B\\ggg"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("ggg cannot be listed, nothing after it is copied\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace updater::kit
