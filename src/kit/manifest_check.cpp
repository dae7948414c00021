#include "kit/manifest_check.h"

#include <map>
#include <optional>

#include "kit/files.h"
#include "kit/manifest.h"
#include "kit/manifest_signature.h"
#include "rules/manifest_reader.h"

namespace updater::kit {

namespace fs = std::filesystem;

namespace {

void Error(std::vector<Finding>& findings, std::string path, std::string reason) {
    findings.push_back({Severity::kError, std::move(path), std::move(reason)});
}

// Every staged file as (Windows path below the folder, "/"-path), the
// manifest and its signature excepted: what stage lists.
std::map<std::string, std::string> StagedFiles(const fs::path& staged) {
    std::map<std::string, std::string> files;
    for (FileBelow& file : FilesBelow(staged)) {
        if (file.relative == kManifestFileName || file.relative == kManifestSignatureFileName) continue;
        files.emplace(std::move(file.windows), std::move(file.relative));
    }
    return files;
}

// True when updater.exe carries a signature (then the manifest must bind the update).
bool CheckSignature(const fs::path& staged, const std::string& updaterName, const std::optional<std::string>& manifest,
                    std::vector<Finding>& findings) {
    const std::optional<std::string> updater = ReadBytes(staged / updaterName);
    if (!updater) return false;
    const AuthenticodeSigner own = ReadAuthenticodeSigner(*updater);
    if (!own.present) return false;
    if (own.certificate.empty()) {
        Error(findings, updaterName, "carries a signature whose signer cannot be read: the updater refuses to copy");
        return true;
    }
    if (!own.timeStamped) findings.push_back({Severity::kWarning, updaterName, kNoTimeStamp});
    if (!manifest) {
        Error(findings, kManifestFileName, "missing: the signed updater refuses to copy without it");
        return true;
    }
    const std::optional<std::string> signature = ReadBytes(staged / kManifestSignatureFileName);
    if (!signature) {
        Error(findings, kManifestSignatureFileName, "missing: the signed updater refuses to copy without it");
        return true;
    }
    const std::optional<std::string> signer = DetachedSigner(*manifest, *signature);
    if (!signer) Error(findings, kManifestSignatureFileName, "does not verify for update-manifest.json");
    else if (*signer != own.certificate)
        Error(findings, kManifestSignatureFileName, "made by another certificate than the one that signed updater.exe");
    return true;
}

void CheckEntries(const fs::path& staged, const Manifest& manifest, std::vector<Finding>& findings) {
    std::map<std::string, std::string> files = StagedFiles(staged);
    for (const ManifestFile& entry : manifest.files) {
        const auto file = files.find(entry.path);
        if (file == files.end()) {
            Error(findings, entry.path, "listed in the manifest but not staged");
            continue;
        }
        const fs::path path = staged / file->second;
        if (fs::file_size(path) != entry.size || Sha256OfFile(path) != entry.sha256)
            Error(findings, file->second, "differs from its manifest entry (size or SHA-256)");
        files.erase(file);
    }
    for (const auto& [windows, relative] : files) Error(findings, relative, "staged but not in the manifest");
}

}  // namespace

void CheckManifestOf(const fs::path& staged, const std::string& updaterName, CheckResult& result) {
    const std::optional<std::string> text = ReadBytes(staged / kManifestFileName);
    const bool isSigned = CheckSignature(staged, updaterName, text, result.findings);
    if (!text) return;
    const std::optional<Manifest> manifest = ReadManifest(*text);
    if (!manifest) {
        Error(result.findings, kManifestFileName, "is not a manifest the updater can read");
        return;
    }
    result.target = manifest->target;
    if (isSigned && !manifest->target)
        Error(result.findings, kManifestFileName,
              "names no product line and version code (stage --product, --version-code): the signed updater "
              "refuses to copy");
    CheckEntries(staged, *manifest, result.findings);
}

}  // namespace updater::kit
