#include "kit/manifest_signature.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <stdexcept>

#include "rules/certificate_table.h"
#include "rules/unique_resource.h"

namespace updater::kit {

namespace {

using Bio = UniquePointer<BIO, BIO_free_all>;
using Cms = UniquePointer<CMS_ContentInfo, CMS_ContentInfo_free>;
using Pkcs12 = UniquePointer<PKCS12, PKCS12_free>;
using Pkcs7 = UniquePointer<PKCS7, PKCS7_free>;
using Certificate = UniquePointer<X509, X509_free>;
using Key = UniquePointer<EVP_PKEY, EVP_PKEY_free>;
using Store = UniquePointer<X509_STORE, X509_STORE_free>;
using Object = UniquePointer<ASN1_OBJECT, ASN1_OBJECT_free>;

// The time-stamp countersignatures of an Authenticode signer: RFC 3161
// (osslsigncode -ts) and the older PKCS #9 form (osslsigncode -t).
constexpr const char* kTimeStampAttributes[] = {"1.3.6.1.4.1.311.3.3.1", "1.2.840.113549.1.9.6"};

void FreeCertificates(STACK_OF(X509) * certificates) { sk_X509_pop_free(certificates, X509_free); }
void FreeStack(STACK_OF(X509) * certificates) { sk_X509_free(certificates); }

Bio MemoryOf(const std::string& bytes) { return Bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size()))); }

std::string DerOf(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    if (length <= 0) return "";
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

std::string ReadFile(const std::filesystem::path& path) {
    const Bio file(BIO_new_file(path.c_str(), "rb"));
    if (!file) throw std::runtime_error("cannot read " + path.string());
    std::string bytes;
    char buffer[4096];
    for (int got; (got = BIO_read(file.get(), buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<std::size_t>(got));
    return bytes;
}

}  // namespace

std::string SignDetached(const std::string& content, const std::filesystem::path& p12, const std::string& password) {
    const std::string p12Bytes = ReadFile(p12);
    const Bio p12Bio = MemoryOf(p12Bytes);
    const Pkcs12 parsed(d2i_PKCS12_bio(p12Bio.get(), nullptr));
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    if (!parsed || !PKCS12_parse(parsed.get(), password.c_str(), &key, &certificate, &chain))
        throw std::runtime_error("cannot read the certificate and key of " + p12.string() + " (wrong password?)");
    const Key ownedKey(key);
    const Certificate ownedCertificate(certificate);
    const UniquePointer<STACK_OF(X509), FreeCertificates> ownedChain(chain);
    if (!key || !certificate) throw std::runtime_error(p12.string() + " holds no certificate with its key");
    const Bio data = MemoryOf(content);
    // No signed attributes: the signature covers the manifest's digest alone,
    // the form Windows's detached-message check was measured with.
    const Cms cms(CMS_sign(certificate, key, chain, data.get(), CMS_BINARY | CMS_DETACHED | CMS_NOATTR));
    const Bio out(BIO_new(BIO_s_mem()));
    if (!cms || !out || i2d_CMS_bio(out.get(), cms.get()) != 1) throw std::runtime_error("cannot sign the manifest");
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(out.get(), &bytes);
    return std::string(bytes, static_cast<std::size_t>(length));
}

std::optional<std::string> DetachedSigner(const std::string& content, const std::string& signature) {
    const Bio signatureBio = MemoryOf(signature);
    const Cms cms(d2i_CMS_bio(signatureBio.get(), nullptr));
    const Store store(X509_STORE_new());
    const Bio data = MemoryOf(content);
    if (!cms || !store || !data) return std::nullopt;
    if (CMS_verify(cms.get(), nullptr, store.get(), data.get(), nullptr, CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) != 1)
        return std::nullopt;
    const UniquePointer<STACK_OF(X509), FreeStack> signers(CMS_get0_signers(cms.get()));
    if (!signers || sk_X509_num(signers.get()) != 1) return std::nullopt;
    return DerOf(sk_X509_value(signers.get(), 0));
}

AuthenticodeSigner ReadAuthenticodeSigner(const std::string& pe) {
    const EmbeddedSignature embedded = FindEmbeddedSignature(pe);
    if (embedded.state == EmbeddedSignature::State::kNotPe || embedded.state == EmbeddedSignature::State::kAbsent)
        return {};
    AuthenticodeSigner signer{true, ""};
    if (embedded.state != EmbeddedSignature::State::kFound) return signer;
    const auto* der = reinterpret_cast<const unsigned char*>(embedded.signedData.data());
    const Pkcs7 p7(d2i_PKCS7(nullptr, &der, static_cast<long>(embedded.signedData.size())));
    if (!p7) return signer;
    const UniquePointer<STACK_OF(X509), FreeStack> signers(PKCS7_get0_signers(p7.get(), nullptr, 0));
    if (!signers || sk_X509_num(signers.get()) != 1) return signer;
    signer.certificate = DerOf(sk_X509_value(signers.get(), 0));
    STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7.get());
    if (!infos || sk_PKCS7_SIGNER_INFO_num(infos) != 1) return signer;
    const PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(infos, 0);
    for (const char* oid : kTimeStampAttributes) {
        const Object attribute(OBJ_txt2obj(oid, 1));
        if (attribute && X509at_get_attr_by_OBJ(info->unauth_attr, attribute.get(), -1) >= 0) signer.timeStamped = true;
    }
    return signer;
}

}  // namespace updater::kit
