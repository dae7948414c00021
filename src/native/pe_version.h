// A portable reader of the version resource of a PE file (PE32 and PE32+),
// for tools that run on the build machine rather than on Windows. It answers
// what the Windows version API answers for
//
//     GetFileVersionInfoA(file) then
//     VerQueryValueA(info, "\\StringFileInfo\\<kJapaneseStringTable>\\FileVersion")
//
// that is, the Japanese string table's FileVersion (text/cp932.h names the
// table), converted from UTF-16 to code page 932 bytes.
//
// The bytes are untrusted: every offset and length read from them is checked
// against the input, nothing is read past its end, every loop is bounded by
// the input's size, and no allocation is sized by a header field (the one
// buffer, for the version block, is at most 64 KiB, the most a block's
// 16-bit length can describe).
//
// The input is either the whole file in memory or a ByteSource, from which
// only the parts the walk needs are read: the headers, the section table,
// the resource directories and the version block. Both give the same answer;
// the in-memory form reads through the same walk.
//
// Rules the reader follows (where a file offers a choice, the one Windows
// makes on a Japanese system):
// - The version resource is type RT_VERSION (16), name VS_VERSION_INFO (1),
//   as the API looks it up. Of its languages the first present of neutral
//   (0x0000), Japanese (0x0411), English (0x0409) is taken, else the first
//   in the directory (the lowest language id, as the directory is sorted).
// - The resource's extent is its data entry's size; the root block's length
//   never reaches past it.
// - Keys (table and value names) compare case-insensitively for the letters
//   A-Z, as the API's path lookup does; every other character exactly. Of
//   several blocks with one key, the first counts.
// - A text value's length is its count of UTF-16 units (wValueLength), kept
//   within its block; the text ends at its first NUL or at that length,
//   whichever comes first.
// - Conversion to code page 932 is the codec's Utf16ToCp932
//   (native/cp932_codec.h): each UTF-16 unit on its own, as WideCharToMultiByte
//   does for code page 932 with its default flags: near matches are taken
//   ("é" becomes "e"); a unit the code page lacks, each half of a surrogate
//   pair and an unpaired surrogate become '?'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>



namespace updater::native {

enum class PeFormat { kNotPe, kPe32, kPe32Plus };

// Random access to a file's bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // How many bytes the file holds.
    virtual std::uint64_t Size() const = 0;
    // Copies up to `count` bytes from `offset` into `into` and returns how
    // many it copied: fewer than asked only at the end of the file (or when
    // the file cannot be read, which the walk takes as its end).
    virtual std::size_t Read(std::uint64_t offset, char* into, std::size_t count) = 0;
};

// A ByteSource over bytes in memory.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::size_t Read(std::uint64_t offset, char* into, std::size_t count) override;

private:
    std::string_view bytes_;
};

// PE32 (optional header magic 0x10B) or PE32+ (0x20B) when the bytes carry
// a DOS header, a PE signature and an optional header of that magic that
// reaches its data directories, in the file and within its stated size.
PeFormat DetectPeFormat(std::string_view bytes);

// One string table of the version resource.
struct StringTable {
    std::string key;                         // e.g. kJapaneseStringTable, in code page 932 bytes
    std::optional<std::string> fileVersion;  // its FileVersion, in code page 932 bytes

    bool operator==(const StringTable& other) const { return key == other.key && fileVersion == other.fileVersion; }
};

// What a file's version resource offers.
struct VersionResource {
    PeFormat format = PeFormat::kNotPe;
    bool hasVersionResource = false;  // an RT_VERSION resource was found and starts a block
    std::vector<StringTable> tables;  // the tables of the first StringFileInfo, in file order

    bool operator==(const VersionResource& other) const {
        return format == other.format && hasVersionResource == other.hasVersionResource && tables == other.tables;
    }
};

// The whole answer for one file.
VersionResource ReadVersionResource(std::string_view bytes);
VersionResource ReadVersionResource(ByteSource& source);

// The FileVersion of the table `key` (compared as keys are) in `resource`.
std::optional<std::string> FindFileVersion(const VersionResource& resource, std::string_view key);

// The Japanese table's (kJapaneseStringTable) FileVersion in code page 932
// bytes, or nothing when the file has none.
std::optional<std::string> ReadJapaneseFileVersion(std::string_view bytes);
std::optional<std::string> ReadJapaneseFileVersion(ByteSource& source);

}  // namespace updater::native
