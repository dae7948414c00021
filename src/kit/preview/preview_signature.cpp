// The preview's answers to the signature calls. update-kit preview predicts
// what an unsigned updater does (update-kit check judges a signed update's
// manifest and signatures), so the previewed updater is always unsigned and
// the trust check, which then reads nothing, never reaches the other calls;
// each still answers as a failure would, never as a pass.
#include "seam/ansi_text.h"
#include "seam/copying.h"
#include "seam/files.h"
#include "seam/signature.h"

namespace updater {

OwnSignature ReadOwnSignature() { return {}; }
std::optional<std::string> VerifyDetachedSignature(const std::string&, const std::string&) { return std::nullopt; }
std::optional<std::string> ReadSmallFile(const std::string&, std::size_t) { return std::nullopt; }
std::optional<std::string> Utf8ToAnsiExact(const std::string&) { return std::nullopt; }
std::optional<FileDigest> HoldPayloadFile(CopySession&, const std::string&) { return std::nullopt; }

}  // namespace updater
