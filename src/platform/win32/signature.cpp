// Signatures and hashes for the signed updater's trust check.
//
// The signature calls live in crypt32.dll, which is not a KnownDLL: it is
// loaded at run time from the system folder only, like version.dll, so that
// a crypt32.dll planted beside the elevated program is never loaded. SHA-256
// comes from advapi32's CryptoAPI (a KnownDLL, imported as before).
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/held_file.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_support.h"

namespace updater {

namespace {

constexpr char kLibraryName[] = "crypt32.dll";
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct CryptLibrary {
    win32::UniqueModule module;
    decltype(&CryptQueryObject) queryObject = nullptr;
    decltype(&CryptMsgGetParam) msgGetParam = nullptr;
    decltype(&CryptMsgClose) msgClose = nullptr;
    decltype(&CertFindCertificateInStore) findCertificate = nullptr;
    decltype(&CertFreeCertificateContext) freeCertificate = nullptr;
    decltype(&CertCloseStore) closeStore = nullptr;
    decltype(&CryptVerifyDetachedMessageSignature) verifyDetached = nullptr;
    DWORD error = ERROR_SUCCESS;  // why it could not be loaded

    CryptLibrary() : module(win32::LoadSystemLibrary(kLibraryName)) {
        if (!module) {
            error = GetLastError();
            return;
        }
        const HMODULE m = module.get();
        queryObject = win32::Entry<decltype(queryObject)>(m, "CryptQueryObject");
        msgGetParam = win32::Entry<decltype(msgGetParam)>(m, "CryptMsgGetParam");
        msgClose = win32::Entry<decltype(msgClose)>(m, "CryptMsgClose");
        findCertificate = win32::Entry<decltype(findCertificate)>(m, "CertFindCertificateInStore");
        freeCertificate = win32::Entry<decltype(freeCertificate)>(m, "CertFreeCertificateContext");
        closeStore = win32::Entry<decltype(closeStore)>(m, "CertCloseStore");
        verifyDetached = win32::Entry<decltype(verifyDetached)>(m, "CryptVerifyDetachedMessageSignature");
        if (!ready()) error = GetLastError();
    }
    bool ready() const {
        return queryObject && msgGetParam && msgClose && findCertificate && freeCertificate && closeStore &&
               verifyDetached;
    }
};

const CryptLibrary& Crypt() { return win32::LoadedOnce<CryptLibrary>(kLibraryName); }

struct StoreCloser {
    void operator()(void* store) const { Crypt().closeStore(store, 0); }
};
struct MessageCloser {
    void operator()(void* message) const { Crypt().msgClose(message); }
};
struct CertificateFreer {
    void operator()(const CERT_CONTEXT* certificate) const { Crypt().freeCertificate(certificate); }
};
using Store = std::unique_ptr<void, StoreCloser>;
using Message = std::unique_ptr<void, MessageCloser>;
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateFreer>;

std::string BytesOf(const CERT_CONTEXT& certificate) {
    return std::string(reinterpret_cast<const char*>(certificate.pbCertEncoded), certificate.cbCertEncoded);
}

// The running executable's path in UTF-16: the signature calls take no ANSI path.
std::wstring OwnPathW() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return L"";
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

// The signer's certificate of an embedded signature's message.
std::optional<std::string> SignerCertificate(HCRYPTMSG message, HCERTSTORE store) {
    DWORD size = 0;
    if (!Crypt().msgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size) || size == 0)
        return std::nullopt;
    std::vector<std::uint8_t> info(size);
    if (!Crypt().msgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, info.data(), &size)) return std::nullopt;
    const Certificate certificate(
        Crypt().findCertificate(store, kEncoding, 0, CERT_FIND_SUBJECT_CERT, info.data(), nullptr));
    if (!certificate) return std::nullopt;
    return BytesOf(*certificate);
}

// ---- SHA-256 through advapi32's CryptoAPI

struct ProviderReleaser {
    void operator()(HCRYPTPROV* provider) const {
        CryptReleaseContext(*provider, 0);
        std::default_delete<HCRYPTPROV>()(provider);
    }
};
struct HashDestroyer {
    void operator()(HCRYPTHASH* hash) const {
        CryptDestroyHash(*hash);
        std::default_delete<HCRYPTHASH>()(hash);
    }
};

// The AES provider, the one that has SHA-256; acquired once, without keys.
HCRYPTPROV Provider() {
    static const std::unique_ptr<HCRYPTPROV, ProviderReleaser> provider = []() {
        HCRYPTPROV handle = 0;
        if (!CryptAcquireContextA(&handle, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
            return std::unique_ptr<HCRYPTPROV, ProviderReleaser>();
        return std::unique_ptr<HCRYPTPROV, ProviderReleaser>(std::make_unique<HCRYPTPROV>(handle).release());
    }();
    return provider ? *provider : 0;
}

std::unique_ptr<HCRYPTHASH, HashDestroyer> NewSha256() {
    HCRYPTHASH handle = 0;
    const HCRYPTPROV provider = Provider();
    if (!provider || !CryptCreateHash(provider, CALG_SHA_256, 0, 0, &handle)) return nullptr;
    return std::unique_ptr<HCRYPTHASH, HashDestroyer>(std::make_unique<HCRYPTHASH>(handle).release());
}

std::string HexOf(const BYTE* bytes, DWORD size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (DWORD i = 0; i < size; ++i) hex.append(1, digits[bytes[i] >> 4]).append(1, digits[bytes[i] & 0xF]);
    return hex;
}

}  // namespace

OwnSignature ReadOwnSignature() {
    const CryptLibrary& crypt = Crypt();
    const std::wstring path = OwnPathW();
    DWORD encoding = 0, contentType = 0, formatType = 0;
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (path.empty() ||
        !crypt.queryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                           CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &formatType, &store,
                           &message, nullptr)) {
        // "No match": the file carries no embedded signature at all.
        const DWORD error = GetLastError();
        return {error == static_cast<DWORD>(CRYPT_E_NO_MATCH) ? OwnSignature::State::Unsigned
                                                              : OwnSignature::State::Unreadable,
                {}};
    }
    const Store ownedStore(store);
    const Message ownedMessage(message);
    const std::optional<std::string> certificate = SignerCertificate(message, store);
    if (!certificate) return {OwnSignature::State::Unreadable, {}};
    return {OwnSignature::State::Signed, *certificate};
}

std::optional<std::string> VerifyDetachedSignature(const std::string& content, const std::string& signature) {
    const CryptLibrary& crypt = Crypt();
    CRYPT_VERIFY_MESSAGE_PARA parameters = {};
    parameters.cbSize = sizeof parameters;
    parameters.dwMsgAndCertEncodingType = kEncoding;
    const BYTE* contents[] = {reinterpret_cast<const BYTE*>(content.data())};
    DWORD sizes[] = {static_cast<DWORD>(content.size())};
    PCCERT_CONTEXT signer = nullptr;
    if (content.size() > MAXDWORD || signature.size() > MAXDWORD ||
        !crypt.verifyDetached(&parameters, 0, reinterpret_cast<const BYTE*>(signature.data()),
                              static_cast<DWORD>(signature.size()), 1, contents, sizes, &signer) ||
        !signer) {
        if (signer) crypt.freeCertificate(signer);
        return std::nullopt;
    }
    const Certificate owned(signer);
    return BytesOf(*signer);
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
    const win32::UniqueFile file = win32::OwnedOrEmpty<win32::UniqueFile>(CreateFileA(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<std::uint64_t>(size.QuadPart) > limit)
        return std::nullopt;
    std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < content.size()) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
        if (!ReadFile(file.get(), content.data() + done, want, &read, nullptr) || read == 0) return std::nullopt;
        done += read;
    }
    return content;
}

std::optional<std::string> Utf8ToAnsiExact(const std::string& utf8) {
    if (utf8.empty()) return std::string();
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                          nullptr, 0);
    if (units <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
    // No near matches ("é" as "e") and no default character ("?").
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr, 0, nullptr,
                                          &usedDefault);
    if (bytes <= 0 || usedDefault) return std::nullopt;
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, ansi.data(), bytes, nullptr, &usedDefault);
    if (usedDefault) return std::nullopt;
    // And back to the very same characters.
    const int back = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), bytes, nullptr, 0);
    std::wstring again(static_cast<std::size_t>(back > 0 ? back : 0), L'\0');
    if (back <= 0 || MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), bytes, again.data(), back) != back ||
        again != wide)
        return std::nullopt;
    return ansi;
}

void HeldFileCloser::operator()(HeldFileHandle* file) const { std::default_delete<HeldFileHandle>()(file); }

HeldFile HoldFile(const std::string& path) {
    // Read sharing only: no one may write, rename or delete it meanwhile.
    win32::UniqueFile file = win32::OwnedOrEmpty<win32::UniqueFile>(CreateFileA(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return HeldFile();
    return HeldFile(std::make_unique<HeldFileHandle>(HeldFileHandle{std::move(file)}).release());
}

std::optional<FileDigest> DigestOfHeldFile(const HeldFile& held) {
    LARGE_INTEGER start = {};
    if (!held || !SetFilePointerEx(held->file.get(), start, nullptr, FILE_BEGIN)) return std::nullopt;
    const auto hash = NewSha256();
    if (!hash) return std::nullopt;
    std::vector<BYTE> buffer(1 << 16);
    FileDigest digest;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(held->file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return std::nullopt;
        if (read == 0) break;
        if (!CryptHashData(*hash, buffer.data(), read, 0)) return std::nullopt;
        digest.size += read;
    }
    BYTE value[32];
    DWORD length = sizeof value;
    if (!CryptGetHashParam(*hash, HP_HASHVAL, value, &length, 0) || length != sizeof value) return std::nullopt;
    digest.sha256 = HexOf(value, length);
    return digest;
}

}  // namespace updater
