#include "kit/manifest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "host/cp932_codec.h"
#include "host/pe_version.h"
#include "text/cp932.h"

namespace updater::kit {

namespace {

// U+FFFD as UTF-8 bytes (written as bytes: literals are compiled to code page 932).
constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at `pos`, or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead == 0xE0) length = 3, low = 0xA0;
    else if (lead == 0xED) length = 3, high = 0x9F;  // no surrogates
    else if (lead >= 0xE1 && lead <= 0xEF) length = 3;
    else if (lead == 0xF0) length = 4, low = 0x90;
    else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
    else if (lead == 0xF4) length = 4, high = 0x8F;
    else return 0;
    if (pos + length > text.size()) return 0;
    if (byte(pos + 1) < low || byte(pos + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) return 0;
    return length;
}

struct DigestContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (std::size_t pos = 0; pos < text.size();) {
        const char c = text[pos];
        const std::size_t length = Utf8SequenceLength(text, pos);
        if (length == 0) {
            out += kReplacement;
            ++pos;
            continue;
        }
        if (length > 1) {
            out.append(text, pos, length);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escaped;
        } else {
            out += c;
        }
        pos += length;
    }
    out += '"';
    return out;
}

std::string Cp932AsReadableUtf8(std::string_view cp932) {
    if (std::optional<std::string> whole = host::Cp932ToUtf8(cp932)) return *std::move(whole);
    // Character by character; a byte that starts no character becomes U+FFFD
    // and the next byte starts afresh.
    std::string out;
    for (std::size_t pos = 0; pos < cp932.size();) {
        const std::size_t length = CharLength(cp932, pos);
        if (const std::optional<std::string> character = host::Cp932ToUtf8(cp932.substr(pos, length))) {
            out += *character;
            pos += length;
        } else {
            out += kReplacement;
            ++pos;
        }
    }
    return out;
}

std::string Sha256OfFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    const std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
    std::array<char, 1 << 16> buffer;
    while (in) {
        in.read(buffer.data(), buffer.size());
        const std::streamsize got = in.gcount();
        if (got > 0 && EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(got)) != 1)
            throw std::runtime_error("SHA-256 failed");
    }
    if (in.bad()) throw std::runtime_error("cannot read " + file.string());
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest;
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) throw std::runtime_error("SHA-256 failed");
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 0xF];
    }
    return hex;
}

ManifestEntry DescribeFile(const std::filesystem::path& file, const std::string& windowsPath) {
    ManifestEntry entry;
    entry.path = windowsPath;
    entry.size = std::filesystem::file_size(file);
    entry.sha256 = Sha256OfFile(file);
    // Only a file that starts like a PE file is read whole.
    std::ifstream in(file, std::ios::binary);
    char magic[2] = {};
    if (!in.read(magic, 2) || magic[0] != 'M' || magic[1] != 'Z') return entry;
    in.seekg(0);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (const auto version = host::ReadJapaneseFileVersion(bytes)) entry.fileVersion = Cp932AsReadableUtf8(*version);
    return entry;
}

std::string ManifestText(std::vector<ManifestEntry> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const ManifestEntry& a, const ManifestEntry& b) { return a.path < b.path; });
    std::string out = "{\n  \"format\": " + JsonQuote(kManifestFormat) + ",\n  \"files\": [";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ManifestEntry& entry = entries[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    {\"path\": " + JsonQuote(entry.path) + ", \"size\": " + std::to_string(entry.size) +
               ", \"sha256\": " + JsonQuote(entry.sha256) +
               ", \"fileVersion\": " + (entry.fileVersion ? JsonQuote(*entry.fileVersion) : "null") + "}";
    }
    out += entries.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

}  // namespace updater::kit
