#include "rules/certificate_table.h"

namespace updater {

namespace {

constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;
constexpr std::uint32_t kSecurityDirectory = 4;
constexpr std::uint16_t kPkcsSignedData = 2;     // WIN_CERT_TYPE_PKCS_SIGNED_DATA
constexpr std::size_t kCertificateHeader = 8;    // dwLength, wRevision, wCertificateType

bool Within(std::string_view bytes, std::size_t offset, std::size_t width) {
    return offset <= bytes.size() && bytes.size() - offset >= width;
}

// A little-endian field of `width` bytes (4 at most) at `offset`, when it lies within `bytes`.
std::optional<std::uint32_t> Field(std::string_view bytes, std::size_t offset, std::size_t width) {
    if (!Within(bytes, offset, width)) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= std::uint32_t{static_cast<unsigned char>(bytes[offset + i])} << (8 * i);
    return value;
}

}  // namespace

std::optional<PeHeaders> ReadPeHeaders(std::string_view bytes) {
    const std::optional<std::uint32_t> header = Field(bytes, 0x3C, 4);
    if (bytes.substr(0, 2) != "MZ" || !header || *header > bytes.size() ||
        bytes.substr(*header, 4) != std::string_view("PE\0\0", 4))
        return std::nullopt;
    // The optional header follows the 4-byte signature and the 20-byte file header.
    const std::size_t optional = std::size_t{*header} + 24;
    const std::optional<std::uint32_t> magic = Field(bytes, optional, 2);
    if (!magic || (*magic != kPe32 && *magic != kPe32Plus)) return std::nullopt;
    const bool plus = *magic == kPe32Plus;
    PeHeaders headers;
    headers.imageBaseOffset = optional + (plus ? 24 : 28);
    headers.imageBaseWidth = plus ? 8 : 4;
    const std::size_t directories = optional + (plus ? 112 : 96);
    const std::optional<std::uint32_t> size = Field(bytes, optional + 60, 4);
    const std::optional<std::uint32_t> count = Field(bytes, directories - 4, 4);
    if (!size || !count || !Within(bytes, headers.imageBaseOffset, headers.imageBaseWidth)) return std::nullopt;
    headers.headersSize = *size;
    if (*count <= kSecurityDirectory) return headers;
    const std::optional<std::uint32_t> offset = Field(bytes, directories + 8 * kSecurityDirectory, 4);
    const std::optional<std::uint32_t> length = Field(bytes, directories + 8 * kSecurityDirectory + 4, 4);
    if (!offset || !length) return std::nullopt;
    headers.tableOffset = *offset;
    headers.tableSize = *length;
    return headers;
}

EmbeddedSignature FindEmbeddedSignature(std::string_view file) {
    const std::optional<PeHeaders> headers = ReadPeHeaders(file);
    if (!headers) return {};
    if (!headers->CarriesCertificateTable()) return {EmbeddedSignature::State::kAbsent, {}};
    const EmbeddedSignature malformed{EmbeddedSignature::State::kMalformed, {}};
    if (headers->tableOffset > file.size() || file.size() - headers->tableOffset < headers->tableSize)
        return malformed;
    const std::string_view table = file.substr(headers->tableOffset, headers->tableSize);
    const std::optional<std::uint32_t> length = Field(table, 0, 4);
    const std::optional<std::uint32_t> type = Field(table, 6, 2);
    if (!length || !type || *type != kPkcsSignedData || *length <= kCertificateHeader || *length > table.size())
        return malformed;
    return {EmbeddedSignature::State::kFound, table.substr(kCertificateHeader, *length - kCertificateHeader)};
}

bool BeginsWithLoadedHeaders(std::string_view file, std::string_view loaded) {
    const std::optional<PeHeaders> headers = ReadPeHeaders(loaded);
    if (!headers || headers->headersSize != loaded.size() || file.size() < loaded.size()) return false;
    const std::size_t base = headers->imageBaseOffset;
    const std::size_t afterBase = base + headers->imageBaseWidth;
    return file.substr(0, base) == loaded.substr(0, base) &&
           file.substr(afterBase, loaded.size() - afterBase) == loaded.substr(afterBase);
}

std::optional<std::string_view> DerContents(std::string_view element) {
    // A one-byte tag (tag numbers below 31), then the length: below 128 in
    // one byte, else 0x80 + n followed by n bytes (four at most here).
    if (element.size() < 2 || (element[0] & 0x1F) == 0x1F) return std::nullopt;
    const auto first = static_cast<unsigned char>(element[1]);
    std::size_t header = 2;
    std::size_t length = first;
    if (first & 0x80) {
        const std::size_t count = first & 0x7F;
        if (count == 0 || count > 4 || element.size() < header + count) return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < count; ++i)
            length = (length << 8) | static_cast<unsigned char>(element[header + i]);
        header += count;
    }
    if (element.size() - header != length) return std::nullopt;
    return element.substr(header);
}

}  // namespace updater
