// Signatures and hashes for the signed updater's trust check.
//
// The signature calls live in crypt32.dll, which is not a KnownDLL: it is
// loaded at run time from the system folder only, like version.dll, so that
// a crypt32.dll planted beside the elevated program is never loaded. SHA-256
// comes from advapi32's CryptoAPI (a KnownDLL, imported as before).
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/file_handles.h"
#include "platform/win32/file_digest.h"
#include "platform/win32/own_image.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_support.h"
#include "update/certificate_table.h"

namespace updater {

namespace {

constexpr char kLibraryName[] = "crypt32.dll";
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// Far above the program's size: a larger file is not the program.
constexpr std::size_t kOwnImageLimit = std::size_t{64} << 20;

struct CryptLibrary {
    win32::UniqueModule module;
    decltype(&CryptMsgOpenToDecode) msgOpenToDecode = nullptr;
    decltype(&CryptMsgUpdate) msgUpdate = nullptr;
    decltype(&CryptMsgGetParam) msgGetParam = nullptr;
    decltype(&CryptMsgControl) msgControl = nullptr;
    decltype(&CryptMsgClose) msgClose = nullptr;
    decltype(&CertOpenStore) openStore = nullptr;
    decltype(&CertFindCertificateInStore) findCertificate = nullptr;
    decltype(&CertFreeCertificateContext) freeCertificate = nullptr;
    decltype(&CertCloseStore) closeStore = nullptr;
    decltype(&CryptVerifyDetachedMessageSignature) verifyDetached = nullptr;
    decltype(&CertOIDToAlgId) oidToAlgId = nullptr;
    DWORD error = ERROR_SUCCESS;  // why it could not be loaded

    CryptLibrary() : module(win32::LoadSystemLibrary(kLibraryName)) {
        if (!module) {
            error = GetLastError();
            return;
        }
        const HMODULE m = module.get();
        msgOpenToDecode = win32::Entry<decltype(msgOpenToDecode)>(m, "CryptMsgOpenToDecode");
        msgUpdate = win32::Entry<decltype(msgUpdate)>(m, "CryptMsgUpdate");
        msgGetParam = win32::Entry<decltype(msgGetParam)>(m, "CryptMsgGetParam");
        msgControl = win32::Entry<decltype(msgControl)>(m, "CryptMsgControl");
        msgClose = win32::Entry<decltype(msgClose)>(m, "CryptMsgClose");
        openStore = win32::Entry<decltype(openStore)>(m, "CertOpenStore");
        findCertificate = win32::Entry<decltype(findCertificate)>(m, "CertFindCertificateInStore");
        freeCertificate = win32::Entry<decltype(freeCertificate)>(m, "CertFreeCertificateContext");
        closeStore = win32::Entry<decltype(closeStore)>(m, "CertCloseStore");
        verifyDetached = win32::Entry<decltype(verifyDetached)>(m, "CryptVerifyDetachedMessageSignature");
        oidToAlgId = win32::Entry<decltype(oidToAlgId)>(m, "CertOIDToAlgId");
        if (!ready()) error = GetLastError();
    }
    bool ready() const {
        return msgOpenToDecode && msgUpdate && msgGetParam && msgControl && msgClose && openStore &&
               findCertificate && freeCertificate && closeStore && verifyDetached && oidToAlgId;
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

// ---- Hashes through advapi32's CryptoAPI

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

// The AES provider, the one that has SHA-256 (and SHA-1, SHA-384,
// SHA-512); acquired once, without keys.
HCRYPTPROV Provider() {
    static const std::unique_ptr<HCRYPTPROV, ProviderReleaser> provider = []() {
        HCRYPTPROV handle = 0;
        if (!CryptAcquireContextA(&handle, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
            return std::unique_ptr<HCRYPTPROV, ProviderReleaser>();
        return std::unique_ptr<HCRYPTPROV, ProviderReleaser>(std::make_unique<HCRYPTPROV>(handle).release());
    }();
    return provider ? *provider : 0;
}

std::unique_ptr<HCRYPTHASH, HashDestroyer> NewHash(ALG_ID algorithm) {
    HCRYPTHASH handle = 0;
    const HCRYPTPROV provider = Provider();
    if (!provider || !CryptCreateHash(provider, algorithm, 0, 0, &handle)) return nullptr;
    return std::unique_ptr<HCRYPTHASH, HashDestroyer>(std::make_unique<HCRYPTHASH>(handle).release());
}

std::unique_ptr<HCRYPTHASH, HashDestroyer> NewSha256() { return NewHash(CALG_SHA_256); }

// The hash of `bytes` by `algorithm`, or nothing.
std::optional<std::string> HashOf(ALG_ID algorithm, std::string_view bytes) {
    const auto hash = NewHash(algorithm);
    DWORD length = 0;
    DWORD size = sizeof length;
    if (!hash || bytes.size() > MAXDWORD ||
        !CryptHashData(*hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) ||
        !CryptGetHashParam(*hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&length), &size, 0))
        return std::nullopt;
    std::string value(length, '\0');
    if (!CryptGetHashParam(*hash, HP_HASHVAL, reinterpret_cast<BYTE*>(value.data()), &length, 0)) return std::nullopt;
    value.resize(length);
    return value;
}

std::string HexOf(const BYTE* bytes, DWORD size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (DWORD i = 0; i < size; ++i) hex.append(1, digits[bytes[i] >> 4]).append(1, digits[bytes[i] & 0xF]);
    return hex;
}

// ---- Signatures through crypt32

// A parameter of the message (of its first signer where it is a signer's),
// or nothing.
std::optional<std::vector<BYTE>> MessageParameter(HCRYPTMSG message, DWORD type) {
    DWORD size = 0;
    if (!Crypt().msgGetParam(message, type, 0, nullptr, &size) || size == 0) return std::nullopt;
    std::vector<BYTE> bytes(size);
    if (!Crypt().msgGetParam(message, type, 0, bytes.data(), &size)) return std::nullopt;
    bytes.resize(size);
    return bytes;
}

// The certificate of the message's one signer, found among the message's
// certificates by the issuer and serial number the signer names.
Certificate SignerCertificate(HCRYPTMSG message, HCERTSTORE store) {
    const std::optional<std::vector<BYTE>> info = MessageParameter(message, CMSG_SIGNER_CERT_INFO_PARAM);
    if (!info) return nullptr;
    return Certificate(Crypt().findCertificate(store, kEncoding, 0, CERT_FIND_SUBJECT_CERT, info->data(), nullptr));
}

// True when the signer's signed attributes (which its signature covers)
// hold as message digest the hash of the message's content, by the signer's
// digest algorithm. PKCS#7 hashes the content's DER contents octets, without
// its tag and length. Wine 8's signature check (CMSG_CTRL_VERIFY_SIGNATURE_EX)
// does not compare the two, and its CMSG_COMPUTED_HASH_PARAM hashes the
// content's whole DER, so the hash is made here.
bool ContentMatchesSignedDigest(HCRYPTMSG message) {
    const std::optional<std::vector<BYTE>> content = MessageParameter(message, CMSG_CONTENT_PARAM);
    const std::optional<std::vector<BYTE>> signer = MessageParameter(message, CMSG_SIGNER_INFO_PARAM);
    if (!content || !signer) return false;
    const auto& info = *reinterpret_cast<const CMSG_SIGNER_INFO*>(signer->data());
    const std::optional<std::string_view> octets =
        DerContents(std::string_view(reinterpret_cast<const char*>(content->data()), content->size()));
    const std::optional<std::string> hash =
        octets ? HashOf(Crypt().oidToAlgId(info.HashAlgorithm.pszObjId), *octets) : std::nullopt;
    if (!hash) return false;
    for (DWORD i = 0; i < info.AuthAttrs.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = info.AuthAttrs.rgAttr[i];
        if (std::string_view(attribute.pszObjId) != szOID_PKCS_9_MESSAGE_DIGEST) continue;
        // One value: an OCTET STRING.
        const std::string_view value =
            attribute.cValue == 1 ? std::string_view(reinterpret_cast<const char*>(attribute.rgValue[0].pbData),
                                                     attribute.rgValue[0].cbData)
                                  : std::string_view();
        const std::optional<std::string_view> digest = DerContents(value);
        return value.substr(0, 1) == "\x04" && digest && *digest == *hash;
    }
    return false;
}

// The signer's certificate (DER) of an embedded signature (PKCS#7
// SignedData) with exactly one signer, whose signature verifies with that
// certificate's key. No chain and no time are checked: Windows judged the
// signature's trust before the elevation prompt.
std::optional<std::string> VerifiedSigner(std::string_view signedData) {
    const CryptLibrary& crypt = Crypt();
    const Message message(crypt.msgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr));
    if (!message || signedData.size() > MAXDWORD ||
        !crypt.msgUpdate(message.get(), reinterpret_cast<const BYTE*>(signedData.data()),
                         static_cast<DWORD>(signedData.size()), TRUE))
        return std::nullopt;
    DWORD signers = 0;
    DWORD size = sizeof signers;
    if (!crypt.msgGetParam(message.get(), CMSG_SIGNER_COUNT_PARAM, 0, &signers, &size) || signers != 1)
        return std::nullopt;
    const Store store(crypt.openStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message.get()));
    const Certificate certificate = store ? SignerCertificate(message.get(), store.get()) : nullptr;
    if (!certificate) return std::nullopt;
    CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA signer = {};
    signer.cbSize = sizeof signer;
    signer.dwSignerIndex = 0;
    signer.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
    signer.pvSigner = const_cast<CERT_CONTEXT*>(certificate.get());
    if (!crypt.msgControl(message.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &signer) ||
        !ContentMatchesSignedDigest(message.get()))
        return std::nullopt;
    return BytesOf(*certificate);
}

// Size and SHA-256 of bytes already read.
std::optional<FileDigest> DigestOfBytes(const std::string& bytes) {
    const std::optional<std::string> value = HashOf(CALG_SHA_256, bytes);
    if (!value) return std::nullopt;
    return FileDigest{bytes.size(),
                      HexOf(reinterpret_cast<const BYTE*>(value->data()), static_cast<DWORD>(value->size()))};
}

}  // namespace

OwnSignature ReadOwnSignature() {
    Crypt();  // raises when the library cannot be loaded, signed or not
    const OwnSignature unreadable{OwnSignature::State::Unreadable, {}, {}};
    // The image Windows started, and judged in the elevation prompt, tells
    // whether the program is signed; its file cannot make it unsigned.
    const std::string_view loaded = win32::LoadedImageHeaders();
    const std::optional<PeHeaders> headers = ReadPeHeaders(loaded);
    if (!headers) return unreadable;
    if (!headers->CarriesCertificateTable()) return {OwnSignature::State::Unsigned, {}, {}};
    // The held file, kept only when it is the running image's file; its
    // headers must be the loaded ones too, so that the certificate table read
    // from it is the one the loaded image names.
    const std::optional<std::string> file = win32::ReadOwnImageFile(kOwnImageLimit);
    if (!file || !BeginsWithLoadedHeaders(*file, loaded)) return unreadable;
    const EmbeddedSignature embedded = FindEmbeddedSignature(*file);
    if (embedded.state != EmbeddedSignature::State::Found) return unreadable;
    std::optional<std::string> certificate = VerifiedSigner(embedded.signedData);
    const std::optional<FileDigest> digest = DigestOfBytes(*file);
    if (!certificate || !digest) return unreadable;
    return {OwnSignature::State::Signed, std::move(*certificate), *digest};
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
    if (!file) return std::nullopt;
    return win32::ReadWholeFile(file.get(), limit);
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

namespace win32 {

std::optional<FileDigest> DigestOfFile(HANDLE file) {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::nullopt;
    const auto hash = NewSha256();
    if (!hash) return std::nullopt;
    std::vector<BYTE> buffer(1 << 16);
    FileDigest digest;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
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

}  // namespace win32

}  // namespace updater
