// The manifest reader. The input is the text of update-manifest.json.
// Stated rules:
// - the result never depends on bytes past the input's end;
// - every manifest read has a non-empty, well-formed UTF-8 path per entry,
//   no path twice, a hash of 64 lower-case hex digits and a size below 2^63,
//   and a product line and version code of non-empty UTF-8, if any;
// - what update-kit writes for what was read reads back as the same (the
//   writer sorts by path).
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "kit/manifest.h"
#include "rules/manifest_reader.h"

namespace {

using fuzz::Require;
using updater::ManifestFile;
using Read = std::optional<updater::Manifest>;

bool Same(const ManifestFile& a, const ManifestFile& b) {
    return a.path == b.path && a.size == b.size && a.sha256 == b.sha256;
}

bool SameManifest(const Read& a, const Read& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || (a->target == b->target &&
                  std::equal(a->files.begin(), a->files.end(), b->files.begin(), b->files.end(), Same));
}

Read ReadFromCopy(const std::uint8_t* bytes, std::size_t size, std::size_t tail, char fill) {
    const auto copy = std::make_unique<char[]>(size + tail + 1);
    std::copy(bytes, bytes + size, copy.get());
    std::fill(copy.get() + size, copy.get() + size + tail + 1, fill);
    return updater::ReadManifest(std::string_view(copy.get(), size));
}

// Well-formed UTF-8, checked independently of the reader: a lead byte's
// count of continuation bytes, no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t n = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 9;
        if (n == 9 || i + n >= text.size()) return false;
        std::uint32_t code = n == 0 ? b : b & (0x3F >> n);
        for (std::size_t k = 1; k <= n; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            code = (code << 6) | (c & 0x3F);
        }
        const std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (code < least[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += n + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const Read read = ReadFromCopy(bytes, size, 0, 0);
    Require(SameManifest(read, ReadFromCopy(bytes, size, 64, '"')) &&
                SameManifest(read, ReadFromCopy(bytes, size, 64, '\xFF')),
            "bytes past the end change nothing");
    if (!read) return 0;
    if (const auto& target = read->target)
        Require(!target->product.empty() && !target->versionCode.empty() && IsUtf8(target->product) &&
                    IsUtf8(target->versionCode),
                "the product line and version code are non-empty UTF-8");

    std::set<std::string> paths;
    std::vector<updater::kit::ManifestEntry> entries;
    for (const ManifestFile& file : read->files) {
        Require(!file.path.empty() && IsUtf8(file.path), "paths are non-empty UTF-8");
        Require(paths.insert(file.path).second, "no path twice");
        Require(file.sha256.size() == 64 &&
                    file.sha256.find_first_not_of("0123456789abcdef") == std::string::npos,
                "hashes are 64 lower-case hex digits");
        Require(file.size < (std::uint64_t{1} << 63), "sizes below 2^63");
        entries.push_back({file.path, file.size, file.sha256, std::nullopt});
    }

    const Read written = updater::ReadManifest(updater::kit::ManifestText(entries, read->target));
    Read sorted = read;
    std::sort(sorted->files.begin(), sorted->files.end(),
              [](const ManifestFile& a, const ManifestFile& b) { return a.path < b.path; });
    Require(SameManifest(written, sorted), "the writer's text reads back as the same manifest");
    return 0;
}
