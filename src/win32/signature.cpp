// Signatures: the running program's own (its embedded Authenticode
// signature) and detached ones (the manifest's).
//
// The signature calls live in crypt32.dll, which is not a KnownDLL: it is
// loaded at run time from the system folder only, like version.dll, so that
// a crypt32.dll planted beside the elevated program is never loaded.
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rules/certificate_table.h"
#include "seam/ansi_text.h"
#include "seam/files.h"
#include "seam/signature.h"
#include "win32/file_digest.h"
#include "win32/file_handles.h"
#include "win32/own_image.h"
#include "win32/system_library.h"
#include "win32/win32_handles.h"
#include "win32/win32_support.h"

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

// Released through the loaded library's own entries.
void CloseStore(HCERTSTORE store) { Crypt().closeStore(store, 0); }
void CloseMessage(HCRYPTMSG message) { Crypt().msgClose(message); }
void FreeCertificate(PCCERT_CONTEXT certificate) { Crypt().freeCertificate(certificate); }
using Store = win32::UniqueHandle<HCERTSTORE, CloseStore>;
using Message = win32::UniqueHandle<HCRYPTMSG, CloseMessage>;
using Certificate = win32::UniqueHandle<PCCERT_CONTEXT, FreeCertificate>;

std::string BytesOf(const CERT_CONTEXT& certificate) {
    return std::string(reinterpret_cast<const char*>(certificate.pbCertEncoded), certificate.cbCertEncoded);
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
    if (!info) return Certificate();
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
        octets ? win32::HashOf(Crypt().oidToAlgId(info.HashAlgorithm.pszObjId), *octets) : std::nullopt;
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
    const Certificate certificate = store ? SignerCertificate(message.get(), store.get()) : Certificate();
    if (!certificate) return std::nullopt;
    CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA signer = {};
    signer.cbSize = sizeof signer;
    signer.dwSignerIndex = 0;
    signer.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
    signer.pvSigner = const_cast<CERT_CONTEXT*>(certificate.get());
    if (!crypt.msgControl(message.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &signer) ||
        !ContentMatchesSignedDigest(message.get()))
        return std::nullopt;
    return BytesOf(*certificate.get());
}

}  // namespace

OwnSignature ReadOwnSignature() {
    Crypt();  // raises when the library cannot be loaded, signed or not
    const OwnSignature unreadable{OwnSignature::State::kUnreadable, {}, {}};
    // The image Windows started, and judged in the elevation prompt, tells
    // whether the program is signed; its file cannot make it unsigned.
    const std::string_view loaded = win32::LoadedImageHeaders();
    const std::optional<PeHeaders> headers = ReadPeHeaders(loaded);
    if (!headers) return unreadable;
    if (!headers->CarriesCertificateTable()) return {OwnSignature::State::kUnsigned, {}, {}};
    // The held file, kept only when it is the running image's file; its
    // headers must be the loaded ones too, so that the certificate table read
    // from it is the one the loaded image names.
    const std::optional<std::string> file = win32::ReadOwnImageFile(kOwnImageLimit);
    if (!file || !BeginsWithLoadedHeaders(*file, loaded)) return unreadable;
    const EmbeddedSignature embedded = FindEmbeddedSignature(*file);
    if (embedded.state != EmbeddedSignature::State::kFound) return unreadable;
    std::optional<std::string> certificate = VerifiedSigner(embedded.signedData);
    const std::optional<FileDigest> digest = win32::DigestOfBytes(*file);
    if (!certificate || !digest) return unreadable;
    return {OwnSignature::State::kSigned, std::move(*certificate), *digest};
}

std::optional<std::string> VerifyDetachedSignature(const std::string& content, const std::string& signature) {
    const CryptLibrary& crypt = Crypt();
    CRYPT_VERIFY_MESSAGE_PARA parameters = {};
    parameters.cbSize = sizeof parameters;
    parameters.dwMsgAndCertEncodingType = kEncoding;
    const BYTE* contents[] = {reinterpret_cast<const BYTE*>(content.data())};
    DWORD sizes[] = {static_cast<DWORD>(content.size())};
    PCCERT_CONTEXT signer = nullptr;
    const bool verified = content.size() <= MAXDWORD && signature.size() <= MAXDWORD &&
                          crypt.verifyDetached(&parameters, 0, reinterpret_cast<const BYTE*>(signature.data()),
                                               static_cast<DWORD>(signature.size()), 1, contents, sizes, &signer);
    // Owned whatever the answer: a failed check may still have handed one over.
    const Certificate owned(signer);
    if (!verified || !owned) return std::nullopt;
    return BytesOf(*owned.get());
}

}  // namespace updater
