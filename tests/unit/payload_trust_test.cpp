// The signed updater's trust check, for what a whole run under Wine cannot
// show: the folder changing between the check and the copy, a manifest path with
// no exact code page 932 spelling, and the manifest format's own rules.
#include <optional>
#include <string>
#include <vector>

#include "rules/manifest_reader.h"
#include "scenario.h"
#include "seam/copying.h"
#include "seam/signature.h"
#include "update/run_update.h"

namespace updater {
namespace {

constexpr char kStage[] = "C:\\Stage";
constexpr char kCertificate[] = "certificate of ORMIKA";

std::string Sha256(const std::string& content) {
    fake::FakeWindows::Current().AddFile("C:\\digest.tmp", fake::FakeFile{content, std::nullopt});
    CopySession session = BeginCopies({"C:\\", "C:\\"});
    return HoldPayloadFile(session, "C:\\digest.tmp")->sha256;
}

std::string Entry(const std::string& path, const std::string& content) {
    return "{\"path\": \"" + path + "\", \"size\": " + std::to_string(content.size()) + ", \"sha256\": \"" +
           Sha256(content) + "\", \"fileVersion\": null}";
}

class SignedRun : public Scenario {
protected:
    void SetUp() override {
        Scenario::SetUp();
        InstalledProduct(kTorven71Key, "C:\\Prod\\", "7.1.0.1");
        CommandLine("/TORVEN 7.1.0.12 Pkg");
        LogFolder();
        world().AddDataFile(world().executablePath, "signed updater");
        world().ownSignature = {OwnSignature::State::kSigned, kCertificate, {14, Sha256("signed updater")}};
    }
    // Signs a manifest of updater.exe and `entries` (already JSON) beside the updater.
    void SignManifest(const std::string& entries) {
        const std::string text = "{\"format\": \"update-kit manifest 1\", \"product\": \"TORVEN\", "
                                 "\"versionCode\": \"7.1.0.12\", \"files\": [" +
                                 Entry("updater.exe", "signed updater") + entries + "]}";
        world().AddDataFile(std::string(kStage) + "\\update-manifest.json", text);
        world().AddDataFile(std::string(kStage) + "\\update-manifest.json.p7s",
                            fake::FakeWindows::DetachedSignature(kCertificate, text));
    }
};

TEST_F(SignedRun, CopiesExactlyTheFilesItVerifiedEachHeldFromItsOneHashToItsCopy) {
    world().AddDataFile("C:\\Stage\\bin\\a.dat", "first");
    world().AddDataFile("C:\\Stage\\bin\\b.dat", "second");
    SignManifest("," + Entry("bin\\\\a.dat", "first") + "," + Entry("bin\\\\b.dat", "second"));
    // Between the check and the copy a file appears (listed first, were the
    // folder listed again) and a verified one goes, as only a process
    // outside Windows' sharing rules could do.
    world().WhenProgressShows([this] {
        world().AddDataFile("C:\\Stage\\bin\\0.dat", "added after the check");
        world().RemoveFile("C:\\Stage\\bin\\b.dat");
    });
    Run();
    EXPECT_THAT(world().Events("copy "), testing::ElementsAre("copy C:\\Stage\\bin\\a.dat -> C:\\Prod\\bin\\a.dat",
                                                             "copy C:\\Stage\\bin\\b.dat -> C:\\Prod\\bin\\b.dat"));
    EXPECT_EQ(LogText(), "New[0.0.0.0]  FILE[C:\\Prod\\bin\\b.dat]\r\n");
    EXPECT_THAT(Boxes(), testing::ElementsAre(std::string("box error: ") + texts::kCopyFailed));
    EXPECT_THAT(world().Events("hold C:\\Stage\\bin\\a.dat"), testing::SizeIs(1));
    std::vector<std::string> a;
    for (const std::string& event : world().events)
        if (event.find("C:\\Stage\\bin\\a.dat") != std::string::npos) a.push_back(event.substr(0, event.find(' ')));
    EXPECT_THAT(a, testing::ElementsAre("hold", "copy", "release"));
}

TEST_F(SignedRun, AManifestPathWithoutAnExactCodePage932SpellingRefusesTheManifest) {
    world().AddDataFile("C:\\Stage\\bin\\a.dat", "first");
    // U+D55C (Hangul) has no code page 932 spelling; Windows would list it as "?".
    SignManifest("," + Entry("bin\\\\a.dat", "first") + "," + Entry("bin\\\\\\ud55c.dat", "x"));
    Run();
    EXPECT_TRUE(world().Events("copy ").empty());
    EXPECT_TRUE(world().Events("window ").empty());
    EXPECT_EQ(LogText(), "New[0.0.0.0]  FILE[C:\\Stage\\update-manifest.json]\r\n");
}

TEST(ManifestReader, TakesTheFormatAndRefusesWhatItDoesNotAllow) {
    const std::string hash(64, 'a');
    const auto manifest = [&](const std::string& files) {
        return ReadManifest("{\"format\": \"update-kit manifest 1\", \"files\": [" + files + "]}");
    };
    const std::string entry = "{\"path\": \"bin\\\\x\", \"size\": 9223372036854775807, \"sha256\": \"" + hash + "\"}";
    const auto read = manifest(entry);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->files.size(), 1u);
    EXPECT_EQ(read->files[0].path, "bin\\x");
    EXPECT_EQ(read->files[0].size, 9223372036854775807u);
    EXPECT_FALSE(read->target);
    EXPECT_FALSE(manifest(entry + "," + entry)) << "a path twice";
    EXPECT_FALSE(manifest("{\"path\": \"x\", \"size\": 9223372036854775808, \"sha256\": \"" + hash + "\"}"));
    EXPECT_FALSE(manifest("{\"path\": \"x\", \"size\": 1, \"sha256\": \"" + std::string(64, 'A') + "\"}"));
    EXPECT_FALSE(manifest("{\"path\": \"x\", \"path\": \"y\", \"size\": 1, \"sha256\": \"" + hash + "\"}"));
    EXPECT_FALSE(manifest("{\"path\": \"\\ud800\", \"size\": 1, \"sha256\": \"" + hash + "\"}"));
    EXPECT_FALSE(ReadManifest("{\"format\": \"update-kit manifest 2\", \"files\": []}"));
    EXPECT_FALSE(ReadManifest(std::string(100, '[') + std::string(100, ']')));

    // The product line and version code come together, as non-empty strings.
    const auto bound = [](const std::string& members) {
        return ReadManifest("{\"format\": \"update-kit manifest 1\", " + members + ", \"files\": []}");
    };
    const auto target = bound("\"versionCode\": \"7.1.0.12\", \"product\": \"VANTRIX\"");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->target, (ManifestTarget{"VANTRIX", "7.1.0.12"}));
    for (const char* members : {"\"product\": \"TORVEN\"", "\"product\": \"\", \"versionCode\": \"7.1.0.12\"",
                                "\"product\": \"TORVEN\", \"versionCode\": 7.1"})
        EXPECT_FALSE(bound(members)) << members;
}

}  // namespace
}  // namespace updater
