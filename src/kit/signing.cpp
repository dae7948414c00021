#include "kit/signing.h"

#include <optional>
#include <stdexcept>
#include <vector>

#include "kit/files.h"
#include "kit/manifest_signature.h"
#include "kit/process.h"
#include "rules/manifest_format.h"

namespace updater::kit {

namespace fs = std::filesystem;

void SignUpdater(const fs::path& updater, const std::string& p12, const std::string& caFile,
                 const std::string& timestampUrl, const std::string& password) {
    const fs::path signedCopy = updater.parent_path() / ".updater.signed";
    std::vector<std::string> command = {"osslsigncode", "sign", "-pkcs12", p12, "-readpass", "-", "-h", "sha256",
                                        "-in", updater.string(), "-out", signedCopy.string()};
    if (!timestampUrl.empty()) command.insert(command.end(), {"-ts", timestampUrl});
    const ProcessResult sign = RunProcess(command, password);
    if (sign.status != 0) throw std::runtime_error("osslsigncode could not sign the updater:\n" + sign.output);
    fs::rename(signedCopy, updater);
    std::vector<std::string> verify = {"osslsigncode", "verify", "-in", updater.string()};
    if (!caFile.empty()) verify.insert(verify.end(), {"-CAfile", caFile});
    const ProcessResult verified = RunProcess(verify, "");
    if (verified.status != 0) throw std::runtime_error("the signature does not verify:\n" + verified.output);
}

void SignManifest(const fs::path& staged, const std::string& manifest, const std::string& p12,
                  const std::string& password) {
    const std::string signature = SignDetached(manifest, p12, password);
    const std::string updater = ReadBytes(staged / kUpdaterFileName).value_or("");
    const std::optional<std::string> signer = DetachedSigner(manifest, signature);
    if (!signer || *signer != ReadAuthenticodeSigner(updater).certificate)
        throw std::runtime_error("the manifest's signature does not verify with updater.exe's certificate");
    WriteFile(staged / kManifestSignatureFileName, signature);
}

}  // namespace updater::kit
