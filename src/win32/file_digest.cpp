// Hashes through advapi32's CryptoAPI (a KnownDLL, imported): a file's size
// and SHA-256, and the digest a signature names.
#include "win32/file_digest.h"
#include "seam/files.h"
#include "win32/file_handles.h"
#include "win32/win32_handles.h"

#include <wincrypt.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace updater::win32 {

namespace {

BOOL ReleaseProvider(HCRYPTPROV provider) { return CryptReleaseContext(provider, 0); }
using UniqueProvider = UniqueHandle<HCRYPTPROV, ReleaseProvider>;
using UniqueHash = UniqueHandle<HCRYPTHASH, CryptDestroyHash>;

// The AES provider, the one that has SHA-256 (and SHA-1, SHA-384,
// SHA-512); acquired once, without keys.
HCRYPTPROV Provider() {
    static const UniqueProvider provider = []() {
        HCRYPTPROV handle = 0;
        if (!CryptAcquireContextA(&handle, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
            return UniqueProvider();
        return UniqueProvider(handle);
    }();
    return provider.get();
}

UniqueHash NewHash(ALG_ID algorithm) {
    HCRYPTHASH handle = 0;
    const HCRYPTPROV provider = Provider();
    if (!provider || !CryptCreateHash(provider, algorithm, 0, 0, &handle)) return UniqueHash();
    return UniqueHash(handle);
}

UniqueHash NewSha256() { return NewHash(CALG_SHA_256); }

std::string HexOf(const BYTE* bytes, DWORD size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (DWORD i = 0; i < size; ++i) hex.append(1, digits[bytes[i] >> 4]).append(1, digits[bytes[i] & 0xF]);
    return hex;
}

}  // namespace

std::optional<std::string> HashOf(ALG_ID algorithm, std::string_view bytes) {
    const auto hash = NewHash(algorithm);
    DWORD length = 0;
    DWORD size = sizeof length;
    if (!hash || bytes.size() > MAXDWORD ||
        !CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) ||
        !CryptGetHashParam(hash.get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&length), &size, 0))
        return std::nullopt;
    std::string value(length, '\0');
    if (!CryptGetHashParam(hash.get(), HP_HASHVAL, reinterpret_cast<BYTE*>(value.data()), &length, 0))
        return std::nullopt;
    value.resize(length);
    return value;
}

std::optional<FileDigest> DigestOfBytes(const std::string& bytes) {
    const std::optional<std::string> value = HashOf(CALG_SHA_256, bytes);
    if (!value) return std::nullopt;
    return FileDigest{bytes.size(),
                      HexOf(reinterpret_cast<const BYTE*>(value->data()), static_cast<DWORD>(value->size()))};
}

std::optional<FileDigest> DigestOfFile(HANDLE file) {
    if (!RewindFile(file)) return std::nullopt;
    const auto hash = NewSha256();
    if (!hash) return std::nullopt;
    std::vector<BYTE> buffer(1 << 16);
    FileDigest digest;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return std::nullopt;
        if (read == 0) break;
        if (!CryptHashData(hash.get(), buffer.data(), read, 0)) return std::nullopt;
        digest.size += read;
    }
    BYTE value[32];
    DWORD length = sizeof value;
    if (!CryptGetHashParam(hash.get(), HP_HASHVAL, value, &length, 0) || length != sizeof value) return std::nullopt;
    digest.sha256 = HexOf(value, length);
    return digest;
}

}  // namespace updater::win32
