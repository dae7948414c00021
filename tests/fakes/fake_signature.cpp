// The in-memory Windows's answers to seam/signature.h: the updater's own
// signature and detached signatures.
#include "fakes/fake_world.h"
#include "seam/signature.h"

namespace updater {

using fake::FakeWindows;
using fake::World;

OwnSignature ReadOwnSignature() { return World().ownSignature; }

std::optional<std::string> VerifyDetachedSignature(const std::string& content, const std::string& signature) {
    const std::string prefix = "signed by ";
    const std::size_t end = signature.find('\n');
    if (signature.compare(0, prefix.size(), prefix) != 0 || end == std::string::npos ||
        signature.compare(end + 1, std::string::npos, content) != 0)
        return std::nullopt;
    return signature.substr(prefix.size(), end - prefix.size());
}

}  // namespace updater
