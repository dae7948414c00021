// The in-memory Windows's answers to seam/copying.h: a run's copies and the
// payload files held for them.
#include <openssl/evp.h>
#include <memory>

#include "fakes/fake_world.h"
#include "seam/copying.h"
#include "seam/errors.h"

namespace updater {

using fake::FakeWindows;
using fake::World;

struct CopySessionState {
    std::vector<std::string> heldFiles;  // in the order they were held
};

void CopySessionCloser::operator()(CopySessionState* session) const {
    for (const std::string& path : session->heldFiles) World().events.push_back("release " + path);
    std::default_delete<CopySessionState>()(session);
}

CopySession BeginCopies(const CopyRoots& roots, bool quiet) {
    World().copiesQuiet = quiet;
    return CopySession(roots, CopySessionOwner(std::make_unique<CopySessionState>().release()));
}

FolderListing ListPayloadFolder(CopySession&, const std::string& folder) { return World().List(folder); }

bool CopyFileOver(CopySession&, const std::string& source, const std::string& destination) {
    FakeWindows& world = World();
    ++world.copyCount;
    if (world.recordCopies) world.events.push_back("copy " + source + " -> " + destination);
    if (world.CopyRaises(destination)) throw PlatformError("EFakeError", "copy raised");
    if (world.CopyFails(destination)) return false;
    const fake::FakeFile* file = world.FindFile(source);
    if (file == nullptr) return false;
    world.AddFile(destination, *file);
    return true;
}

std::optional<FileDigest> HoldPayloadFile(CopySession& session, const std::string& path) {
    const fake::FakeFile* file = World().FindFile(path);
    if (file == nullptr) return std::nullopt;
    World().events.push_back("hold " + path);
    session->heldFiles.push_back(path);
    const std::string& content = file->content;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(content.data(), content.size(), digest, &length, EVP_sha256(), nullptr) != 1) return std::nullopt;
    static const char digits[] = "0123456789abcdef";
    FileDigest result{content.size(), {}};
    for (unsigned int i = 0; i < length; ++i) result.sha256.append(1, digits[digest[i] >> 4]).append(1, digits[digest[i] & 0xF]);
    return result;
}

}  // namespace updater
