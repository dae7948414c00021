// The PE and version-resource walk is written here rather than taken from a
// library: it must run on the build machine without Windows, in C++, with
// every offset checked against untrusted input and no dependency to carry.
// Texts are converted to code page 932 by the native layer's codec.
#include "native/pe_version.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

#include "native/cp932_codec.h"
#include "rules/cp932.h"

namespace updater::native {

namespace {

// A little-endian read from a view; nothing when the field does not fit.
std::optional<std::uint16_t> U16(std::string_view data, std::uint64_t at) {
    if (at > data.size() || data.size() - at < 2) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// ---------------------------------------------------------------------------
// Reads from the source, each checked against its size first.

class Input {
public:
    explicit Input(ByteSource& source) : source_(source), size_(source.Size()) {}

    std::uint64_t size() const { return size_; }

    // `count` bytes from `at`, or false when they are not all in the file.
    bool Get(std::uint64_t at, unsigned char* into, std::size_t count) {
        if (at > size_ || size_ - at < count) return false;
        return source_.Read(at, reinterpret_cast<char*>(into), count) == count;
    }

    std::optional<std::uint16_t> U16(std::uint64_t at) {
        unsigned char p[2];
        if (!Get(at, p, sizeof p)) return std::nullopt;
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }

    std::optional<std::uint32_t> U32(std::uint64_t at) {
        unsigned char p[4];
        if (!Get(at, p, sizeof p)) return std::nullopt;
        return Le32(p);
    }

    static std::uint32_t Le32(const unsigned char* p) {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }

private:
    ByteSource& source_;
    std::uint64_t size_;
};

// A stretch of the file: `length` bytes from `offset`, all within the file.
struct Region {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// Little-endian reads at `at` within a region; nothing when the field does
// not fit in it.
std::optional<std::uint16_t> U16(Input& in, const Region& region, std::uint64_t at) {
    if (at > region.length || region.length - at < 2) return std::nullopt;
    return in.U16(region.offset + at);
}

std::optional<std::uint32_t> U32(Input& in, const Region& region, std::uint64_t at) {
    if (at > region.length || region.length - at < 4) return std::nullopt;
    return in.U32(region.offset + at);
}

// ---------------------------------------------------------------------------
// PE headers and the section table

constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint64_t kSectionHeaderSize = 40;
// Section headers read at a time.
constexpr std::size_t kSectionsPerRead = 32;

struct Image {
    PeFormat format = PeFormat::kNotPe;
    std::uint32_t resourceRva = 0;  // 0: no resource directory
    std::uint64_t sectionTable = 0;  // where the section table starts
    std::uint32_t sectionCount = 0;  // 0 unless the whole table is in the file
};

// The headers, or nothing when the file is not a PE file. The resource
// directory and sections are read only when the format is known.
std::optional<Image> ReadImage(Input& in) {
    unsigned char mz[2];
    if (in.size() < 0x40 || !in.Get(0, mz, sizeof mz) || mz[0] != 'M' || mz[1] != 'Z') return std::nullopt;
    const auto peAt = in.U32(0x3C);
    if (!peAt) return std::nullopt;
    const std::uint64_t pe = *peAt;
    const auto signature = in.U32(pe);
    if (!signature || *signature != 0x00004550) return std::nullopt;  // "PE\0\0"
    const std::uint64_t fileHeader = pe + 4;
    const auto sectionCount = in.U16(fileHeader + 2);
    const auto optionalSize = in.U16(fileHeader + 16);
    const std::uint64_t optional = fileHeader + 20;
    const auto magic = in.U16(optional);
    if (!sectionCount || !optionalSize || !magic) return std::nullopt;

    Image image;
    // Where the count of data directories and the directories themselves lie.
    std::uint64_t countAt = 0;
    if (*magic == kMagicPe32) {
        image.format = PeFormat::kPe32;
        countAt = 92;
    } else if (*magic == kMagicPe32Plus) {
        image.format = PeFormat::kPe32Plus;
        countAt = 108;
    } else {
        return std::nullopt;
    }
    // The optional header must be complete up to its data directories, both
    // in the file and within the size the file header gives it.
    const std::uint64_t directoriesAt = countAt + 4;
    if (*optionalSize < directoriesAt || in.size() < optional + *optionalSize) return std::nullopt;

    const auto directoryCount = in.U32(optional + countAt);
    if (!directoryCount) return std::nullopt;
    const std::uint64_t resourceEntry = directoriesAt + 8 * std::uint64_t{kResourceDirectoryIndex};
    if (*directoryCount > kResourceDirectoryIndex && resourceEntry + 8 <= *optionalSize) {
        const auto rva = in.U32(optional + resourceEntry);
        const auto size = in.U32(optional + resourceEntry + 4);
        if (!rva || !size) return std::nullopt;
        if (*size != 0) image.resourceRva = *rva;
    }

    // Sections are looked at only when the whole table is in the file.
    const std::uint64_t table = optional + *optionalSize;
    if (table > in.size() || (in.size() - table) / kSectionHeaderSize < *sectionCount) {
        image.resourceRva = 0;
        return image;
    }
    image.sectionTable = table;
    image.sectionCount = *sectionCount;
    return image;
}

// The file's bytes from `rva` to the end of the section data that holds it;
// empty when no section holds it or its data lies outside the file.
Region RegionAt(Input& in, const Image& image, std::uint32_t rva) {
    std::array<unsigned char, kSectionsPerRead * kSectionHeaderSize> headers;
    for (std::uint64_t first = 0; first < image.sectionCount; first += kSectionsPerRead) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kSectionsPerRead, image.sectionCount - first));
        if (!in.Get(image.sectionTable + first * kSectionHeaderSize, headers.data(), count * kSectionHeaderSize))
            return {};
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned char* header = headers.data() + i * kSectionHeaderSize;
            const std::uint32_t virtualSize = Input::Le32(header + 8);
            const std::uint32_t virtualAddress = Input::Le32(header + 12);
            const std::uint32_t rawSize = Input::Le32(header + 16);
            const std::uint32_t rawOffset = Input::Le32(header + 20);
            // The loader maps the raw data up to the virtual size (a zero
            // virtual size means the raw size); bytes it would zero-fill are
            // not read.
            const std::uint32_t extent = virtualSize == 0 ? rawSize : std::min(virtualSize, rawSize);
            if (rva < virtualAddress) continue;
            const std::uint64_t into = rva - virtualAddress;
            if (into >= extent) continue;
            const std::uint64_t offset = std::uint64_t{rawOffset} + into;
            if (offset >= in.size()) return {};
            return {offset, std::min<std::uint64_t>(extent - into, in.size() - offset)};
        }
    }
    return {};
}

// ---------------------------------------------------------------------------
// The resource directory: type, name and language levels, then a data entry.
// The walk has exactly three levels, so a directory entry that points back
// at its own directory cannot make it loop.

constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kVsVersionInfo = 1;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint64_t kDirectoryHeaderSize = 16;
constexpr std::uint64_t kEntrySize = 8;
// Directory entries read at a time.
constexpr std::size_t kEntriesPerRead = 64;
// The most a version block can span: its length is 16 bits.
constexpr std::uint64_t kMaxVersionBlock = 0xFFFF;

struct DirectoryEntry {
    std::uint32_t name = 0;    // an id, or a name's offset with the high bit set
    std::uint32_t target = 0;  // a subdirectory's offset with the high bit set, or a data entry's
};

// Calls `visit` with each entry of the directory at `offset` in `root` that
// lies in it, in order, until `visit` returns false.
template <typename Visit>
void ForEachEntry(Input& in, const Region& root, std::uint32_t offset, Visit visit) {
    const auto named = U16(in, root, std::uint64_t{offset} + 12);
    const auto ids = U16(in, root, std::uint64_t{offset} + 14);
    if (!named || !ids) return;
    const std::uint64_t first = std::uint64_t{offset} + kDirectoryHeaderSize;
    // Bounded by what fits in the data, never by the counts alone.
    const std::uint64_t fitting = first <= root.length ? (root.length - first) / kEntrySize : 0;
    const std::uint64_t count = std::min<std::uint64_t>(std::uint64_t{*named} + *ids, fitting);
    std::array<unsigned char, kEntriesPerRead * kEntrySize> entries;
    for (std::uint64_t done = 0; done < count; done += kEntriesPerRead) {
        const std::size_t batch = static_cast<std::size_t>(std::min<std::uint64_t>(kEntriesPerRead, count - done));
        if (!in.Get(root.offset + first + done * kEntrySize, entries.data(), batch * kEntrySize)) return;
        for (std::size_t i = 0; i < batch; ++i) {
            const unsigned char* entry = entries.data() + i * kEntrySize;
            if (!visit(DirectoryEntry{Input::Le32(entry), Input::Le32(entry + 4)})) return;
        }
    }
}

// The subdirectory that the first entry with id `id` leads to.
std::optional<std::uint32_t> FindSubdirectory(Input& in, const Region& root, std::uint32_t offset,
                                              std::uint32_t id) {
    std::optional<std::uint32_t> found;
    ForEachEntry(in, root, offset, [&](const DirectoryEntry& entry) {
        if (entry.name != id) return true;
        if (entry.target & kSubdirectoryBit) found = entry.target & ~kSubdirectoryBit;
        return false;
    });
    return found;
}

// The language entry Windows takes on a Japanese system for a lookup in the
// neutral language: neutral, then Japanese, then English, then the first.
std::optional<DirectoryEntry> PickLanguage(Input& in, const Region& root, std::uint32_t offset) {
    constexpr std::uint32_t kPreferred[] = {0x0000u, 0x0411u, 0x0409u};
    std::optional<DirectoryEntry> first;
    std::optional<DirectoryEntry> preferred[std::size(kPreferred)];
    ForEachEntry(in, root, offset, [&](const DirectoryEntry& entry) {
        if (!first) first = entry;
        for (std::size_t i = 0; i < std::size(kPreferred); ++i)
            if (entry.name == kPreferred[i] && !preferred[i]) preferred[i] = entry;
        return !preferred[0];  // the neutral language cannot be bettered
    });
    for (const std::optional<DirectoryEntry>& entry : preferred)
        if (entry) return entry;
    return first;
}

// The bytes of the version resource that its root block can span, or
// nothing.
std::optional<std::string> FindVersionResource(Input& in, const Image& image) {
    if (image.resourceRva == 0) return std::nullopt;
    const Region root = RegionAt(in, image, image.resourceRva);
    const auto names = FindSubdirectory(in, root, 0, kRtVersion);
    if (!names) return std::nullopt;
    const auto languages = FindSubdirectory(in, root, *names, kVsVersionInfo);
    if (!languages) return std::nullopt;
    const auto language = PickLanguage(in, root, *languages);
    if (!language || (language->target & kSubdirectoryBit)) return std::nullopt;
    const auto dataRva = U32(in, root, language->target);
    const auto dataSize = U32(in, root, std::uint64_t{language->target} + 4);
    if (!dataRva || !dataSize) return std::nullopt;
    const Region data = RegionAt(in, image, *dataRva);
    // A resource whose bytes run past its section is cut there; nothing past
    // the most a root block can span is looked at.
    const std::uint64_t length = std::min({data.length, std::uint64_t{*dataSize}, kMaxVersionBlock});
    std::string bytes(static_cast<std::size_t>(length), '\0');
    if (!in.Get(data.offset, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size())) return std::nullopt;
    return bytes;
}

// ---------------------------------------------------------------------------
// The version information tree. Every block is
//   WORD wLength, WORD wValueLength, WORD wType, WCHAR szKey[] (NUL ended),
//   padding to 32 bits, the value, padding to 32 bits, the children,
// with alignment counted from the resource's start.

constexpr std::size_t kBlockHeaderSize = 6;

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

struct Block {
    std::size_t begin = 0;
    std::size_t end = 0;  // begin + wLength, kept within the parent
    std::string_view key;  // UTF-16LE units without the NUL
    std::string_view value;  // within the block; units for a text value
    std::size_t children = 0;
};

// The block at `at`, which must end by `limit`; nothing when its header or
// key does not fit or its length could not make progress.
std::optional<Block> ReadBlock(std::string_view data, std::size_t at, std::size_t limit) {
    if (at > limit || limit - at < kBlockHeaderSize) return std::nullopt;
    const std::uint16_t length = *U16(data, at);
    const std::uint16_t valueLength = *U16(data, at + 2);
    const std::uint16_t type = *U16(data, at + 4);
    if (length < kBlockHeaderSize) return std::nullopt;
    Block block;
    block.begin = at;
    block.end = std::min<std::size_t>(at + length, limit);

    std::size_t keyEnd = at + kBlockHeaderSize;
    for (;; keyEnd += 2) {
        if (block.end - keyEnd < 2) return std::nullopt;  // no NUL within the block
        if (*U16(data, keyEnd) == 0) break;
    }
    block.key = data.substr(at + kBlockHeaderSize, keyEnd - at - kBlockHeaderSize);

    // A text value (wType 1) counts UTF-16 units, a binary one bytes.
    const std::size_t valueBegin = std::min(Align4(keyEnd + 2), block.end);
    const std::size_t valueBytes = type == 1 ? std::size_t{valueLength} * 2 : valueLength;
    const std::size_t valueEnd = std::min(valueBegin + valueBytes, block.end);
    block.value = data.substr(valueBegin, valueEnd - valueBegin);
    block.children = std::min(Align4(valueEnd), block.end);
    return block;
}

// The children of `parent`, in order, up to the first that is not a block.
std::vector<Block> Children(std::string_view data, const Block& parent) {
    std::vector<Block> children;
    // Each child takes at least kBlockHeaderSize bytes: the loop ends.
    for (std::size_t at = parent.children; at < parent.end;) {
        const auto child = ReadBlock(data, at, parent.end);
        if (!child) break;
        children.push_back(*child);
        at = Align4(at + *U16(data, at));
    }
    return children;
}

// The key compared with an ASCII name: same length, A-Z and a-z alike.
bool KeyIs(std::string_view key, std::string_view name) {
    if (key.size() != 2 * name.size()) return false;
    const auto fold = [](std::uint16_t unit) -> std::uint16_t {
        return unit >= 'a' && unit <= 'z' ? static_cast<std::uint16_t>(unit - 'a' + 'A') : unit;
    };
    for (std::size_t i = 0; i < name.size(); ++i) {
        const std::uint16_t unit = *U16(key, 2 * i);
        if (fold(unit) != fold(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

// A copy, so that it outlives the list it was found in.
std::optional<Block> FirstChild(const std::vector<Block>& blocks, std::string_view name) {
    for (const Block& block : blocks)
        if (KeyIs(block.key, name)) return block;
    return std::nullopt;
}

// A text value up to its first NUL, whole units only.
std::string_view TextOf(std::string_view value) {
    std::size_t units = 0;
    while (2 * units + 1 < value.size() && *U16(value, 2 * units) != 0) ++units;
    return value.substr(0, 2 * units);
}

}  // namespace

std::size_t MemorySource::Read(std::uint64_t offset, char* into, std::size_t count) {
    if (offset >= bytes_.size()) return 0;
    const std::size_t copied = std::min<std::size_t>(count, bytes_.size() - static_cast<std::size_t>(offset));
    std::copy_n(bytes_.data() + offset, copied, into);
    return copied;
}

PeFormat DetectPeFormat(std::string_view bytes) {
    MemorySource source(bytes);
    Input in(source);
    const auto image = ReadImage(in);
    return image ? image->format : PeFormat::kNotPe;
}

VersionResource ReadVersionResource(std::string_view bytes) {
    MemorySource source(bytes);
    return ReadVersionResource(source);
}

VersionResource ReadVersionResource(ByteSource& source) {
    VersionResource result;
    Input in(source);
    const auto image = ReadImage(in);
    if (!image) return result;
    result.format = image->format;
    const std::optional<std::string> bytes = FindVersionResource(in, *image);
    if (!bytes) return result;
    const std::string_view data(*bytes);
    const auto root = ReadBlock(data, 0, data.size());
    if (!root) return result;
    result.hasVersionResource = true;

    const std::vector<Block> top = Children(data, *root);
    const std::optional<Block> stringFileInfo = FirstChild(top, "StringFileInfo");
    if (!stringFileInfo) return result;
    for (const Block& table : Children(data, *stringFileInfo)) {
        StringTable entry;
        entry.key = Utf16ToCp932(table.key);
        if (const std::optional<Block> value = FirstChild(Children(data, table), "FileVersion"))
            entry.fileVersion = Utf16ToCp932(TextOf(value->value));
        result.tables.push_back(std::move(entry));
    }
    return result;
}

std::optional<std::string> FindFileVersion(const VersionResource& resource, std::string_view key) {
    for (const StringTable& table : resource.tables) {
        if (table.key.size() != key.size()) continue;
        const bool same = std::equal(key.begin(), key.end(), table.key.begin(), [](char a, char b) {
            const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
            return upper(a) == upper(b);
        });
        if (same) return table.fileVersion;
    }
    return std::nullopt;
}

std::optional<std::string> ReadJapaneseFileVersion(std::string_view bytes) {
    return FindFileVersion(ReadVersionResource(bytes), kJapaneseStringTable);
}

std::optional<std::string> ReadJapaneseFileVersion(ByteSource& source) {
    return FindFileVersion(ReadVersionResource(source), kJapaneseStringTable);
}

}  // namespace updater::native
