// Where a PE file keeps its Authenticode signature: the certificate table,
// which data directory 4 (IMAGE_DIRECTORY_ENTRY_SECURITY) names by a file
// offset and a size, and whose first WIN_CERTIFICATE holds the PKCS#7
// SignedData. Only offsets and bounds over bytes: every field is read within
// the bytes given, nothing is decoded but a DER element's framing. The
// signed updater reads its own file and its loaded image's headers with it;
// update-kit reads a staged updater.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace updater {

// What the headers of a PE image say about its signature.
struct PeHeaders {
    std::uint32_t headersSize = 0;    // SizeOfHeaders
    std::size_t imageBaseOffset = 0;  // where the ImageBase field lies
    std::size_t imageBaseWidth = 0;   // 4 (PE32) or 8 (PE32+)
    // Data directory 4 as stored: a file offset and a size. Zero when the
    // headers have no such entry (NumberOfRvaAndSizes 4 or less).
    std::uint32_t tableOffset = 0;
    std::uint32_t tableSize = 0;
    bool CarriesCertificateTable() const { return tableSize != 0; }
};

// The headers of the PE image `bytes` begins with: "MZ", the "PE\0\0"
// signature where e_lfanew points, a PE32 or PE32+ optional header, and
// data directory 4 when NumberOfRvaAndSizes names it, all within `bytes`.
// Nothing when any of that is missing or cut short.
std::optional<PeHeaders> ReadPeHeaders(std::string_view bytes);

// The signature embedded in a PE file's bytes.
struct EmbeddedSignature {
    enum class State {
        kNotPe,      // no PE headers readable
        kAbsent,     // no certificate table
        kMalformed,  // a table past the end of the file, or whose first entry is cut short or no SignedData
        kFound,      // `signedData` holds the first entry's PKCS#7 SignedData (DER)
    } state = State::kNotPe;
    std::string_view signedData;  // within the bytes given
};
EmbeddedSignature FindEmbeddedSignature(std::string_view file);

// True when `file` begins with the headers a loaded image holds in memory
// (`loaded`: its first SizeOfHeaders bytes), byte for byte but for
// ImageBase, which the loader rewrites when it maps the image at another
// address. The headers hold data directory 4 and the file's checksum, so a
// file signed again or stripped of its signature differs here.
bool BeginsWithLoadedHeaders(std::string_view file, std::string_view loaded);

// The contents octets of the DER element that `element` is, whole: what
// follows its tag (one byte) and its definite length. Nothing when the
// length form is not DER's definite one or does not match the bytes. A
// PKCS#7 signature's message digest is the hash of these octets of the
// signed content.
std::optional<std::string_view> DerContents(std::string_view element);

}  // namespace updater
