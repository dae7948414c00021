// The PE version reader. The input is a file's bytes. Stated rules:
// - the result never depends on bytes past the input's end: the input read
//   from an exactly-sized heap copy and from copies followed by different
//   bytes gives the same answer;
// - no key or value holds a NUL, and none is longer than the input (each
//   UTF-16 unit becomes at most two bytes);
// - a file that is not PE has no version resource, and a file without one
//   has no tables.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "native/pe_version.h"

namespace {

using fuzz::Require;
using updater::native::VersionResource;

// The input in a heap block of its size plus `tail` bytes of `fill`.
VersionResource ReadFromCopy(const std::uint8_t* bytes, std::size_t size, std::size_t tail, char fill) {
    const auto copy = std::make_unique<char[]>(size + tail + 1);
    std::copy(bytes, bytes + size, copy.get());
    std::fill(copy.get() + size, copy.get() + size + tail, fill);
    return updater::native::ReadVersionResource(std::string_view(copy.get(), size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    const VersionResource read = updater::native::ReadVersionResource(input);

    Require(read == ReadFromCopy(bytes, size, 0, 0), "an exactly-sized copy reads the same");
    Require(read == ReadFromCopy(bytes, size, 64, '\0') && read == ReadFromCopy(bytes, size, 64, '\xFF'),
            "bytes past the end change nothing");

    if (read.format == updater::native::PeFormat::kNotPe) Require(!read.hasVersionResource, "no resource outside PE");
    if (!read.hasVersionResource) Require(read.tables.empty(), "no tables without a resource");
    for (const updater::native::StringTable& table : read.tables) {
        Require(table.key.find('\0') == std::string::npos && table.key.size() <= size, "keys stop at their NUL");
        if (table.fileVersion)
            Require(table.fileVersion->find('\0') == std::string::npos && table.fileVersion->size() <= size,
                    "values stop at their NUL");
    }
    return 0;
}
