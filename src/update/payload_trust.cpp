#include "update/payload_trust.h"

#include <map>
#include <optional>
#include <vector>

#include "rules/manifest_reader.h"
#include "rules/path.h"
#include "seam/ansi_text.h"
#include "seam/copying.h"
#include "seam/files.h"
#include "seam/signature.h"
#include "update/payload.h"

namespace updater {

namespace {

// Far above any real manifest (about 150 bytes a file) or signature.
constexpr std::size_t kManifestLimit = std::size_t{64} << 20;
constexpr std::size_t kSignatureLimit = std::size_t{1} << 20;

// What the manifest says, by each file's full path in code page 932, in
// the manifest's order; nothing when a path has no exact spelling there.
struct Expected {
    std::map<std::string, FileDigest> byPath;
    std::vector<std::string> order;
};

std::optional<Expected> ExpectedFiles(const std::vector<ManifestFile>& files, const std::string& sourceRoot) {
    Expected expected;
    for (const ManifestFile& file : files) {
        const std::optional<std::string> path = Utf8ToAnsiExact(file.path);
        if (!path) return std::nullopt;
        const std::string full = JoinPath(sourceRoot, *path);
        if (!expected.byPath.emplace(full, FileDigest{file.size, file.sha256}).second) return std::nullopt;
        expected.order.push_back(full);
    }
    return expected;
}

// True when the manifest was staged for this run: its product line is the
// one the switch selected, and its version code names the same version as
// the command line's. The manifest's texts are UTF-8, the run's code page 932.
bool StagedForThisRun(const std::optional<ManifestTarget>& target, const ProductProfile& profile,
                      const std::string& versionCode) {
    if (!target) return false;
    const std::optional<std::string> product = Utf8ToAnsiExact(target->product);
    const std::optional<std::string> staged = Utf8ToAnsiExact(target->versionCode);
    return product && staged && ProfileOfProductName(*product) == &profile && SameVersionCode(*staged, versionCode);
}

// The manifest's own checks; "" when they hold, else the path to name.
std::string CheckManifest(const std::string& sourceRoot, const std::string& certificate,
                          const ProductProfile& profile, const std::string& versionCode, Expected& expected) {
    const std::string manifestPath = JoinPath(sourceRoot, kManifestFileName);
    const std::optional<std::string> text = ReadSmallFile(manifestPath, kManifestLimit);
    const std::optional<std::string> signature =
        ReadSmallFile(JoinPath(sourceRoot, kManifestSignatureFileName), kSignatureLimit);
    if (!text || !signature) return manifestPath;
    // The certificates are compared byte for byte: the updater's own
    // signature is the one Windows judged before the elevation prompt.
    const std::optional<std::string> signer = VerifyDetachedSignature(*text, *signature);
    if (!signer || *signer != certificate) return manifestPath;
    const std::optional<Manifest> manifest = ReadManifest(*text);
    if (!manifest || !StagedForThisRun(manifest->target, profile, versionCode)) return manifestPath;
    std::optional<Expected> read = ExpectedFiles(manifest->files, sourceRoot);
    if (!read) return manifestPath;
    expected = std::move(*read);
    return "";
}

}  // namespace

PayloadTrust CheckPayloadTrust(const UpdateFolder& update, const ProductProfile& profile,
                               const std::string& versionCode, CopySession& session) {
    const std::string& sourceRoot = update.root;
    const std::string& updater = update.updaterPath;
    PayloadTrust trust;
    const OwnSignature own = ReadOwnSignature();
    if (own.state == OwnSignature::State::kUnsigned) return trust;
    trust.signed_ = true;
    if (own.state == OwnSignature::State::kUnreadable) {
        trust.refusedPath_ = updater;
        return trust;
    }
    Expected expected;
    trust.refusedPath_ = CheckManifest(sourceRoot, own.certificate, profile, versionCode, expected);
    if (trust.Refused()) return trust;

    // The manifest must describe this very updater, the file its signature
    // was read from: a manifest of another release by the same signer is
    // not this update's.
    const auto self = expected.byPath.find(updater);
    if (self == expected.byPath.end() || !(self->second == own.digest)) {
        trust.refusedPath_ = updater;
        return trust;
    }
    expected.byPath.erase(self);

    // Every payload file, as the copy's walk finds it.
    const PayloadWalk walk = WalkPayload(sourceRoot, update.updaterName, [&](const std::string& file) {
        const auto entry = expected.byPath.find(file);
        const std::optional<FileDigest> digest =
            entry == expected.byPath.end() ? std::nullopt : HoldPayloadFile(session, file);
        if (!digest || !(*digest == entry->second)) {
            trust.refusedPath_ = file;
            return false;
        }
        trust.verified_.push_back(file);
        expected.byPath.erase(entry);
        return true;
    }, &session);
    if (!walk.unreadableFolder.empty()) trust.refusedPath_ = JoinPath(walk.unreadableFolder, "");
    if (!walk.whole()) return trust;

    // Every manifest entry the copy would meet: those in a sub-folder, less
    // files named like the updater, which the listing passes over.
    for (const std::string& path : expected.order) {
        const bool inSubFolder = FolderOfPath(path) != sourceRoot;
        if (inSubFolder && FileNameOfPath(path) != update.updaterName && expected.byPath.count(path)) {
            trust.refusedPath_ = path;
            return trust;
        }
    }
    return trust;
}

}  // namespace updater
