#include "kit/manifest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "kit/files.h"
#include "kit/json.h"
#include "kit/readable_text.h"
#include "native/pe_version.h"
#include "rules/unique_resource.h"

namespace updater::kit {

std::string Sha256OfFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    const UniquePointer<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
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
    const std::optional<std::string> bytes = ReadIfStartsLikePe(file);
    if (!bytes) return entry;
    if (const auto version = native::ReadJapaneseFileVersion(*bytes)) entry.fileVersion = Cp932AsReadableUtf8(*version);
    return entry;
}

std::string ManifestText(std::vector<ManifestEntry> entries, const std::optional<ManifestTarget>& target) {
    std::sort(entries.begin(), entries.end(),
              [](const ManifestEntry& a, const ManifestEntry& b) { return a.path < b.path; });
    std::string out = "{\n  \"format\": " + JsonQuote(kManifestFormatName) + ",\n";
    if (target)
        out += "  \"product\": " + JsonQuote(target->product) + ",\n  \"versionCode\": " +
               JsonQuote(target->versionCode) + ",\n";
    out += "  \"files\": [";
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
