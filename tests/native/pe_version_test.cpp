// The PE version reader on DLLs built by the MinGW-w64 tools (PE_FIXTURE_DIR)
// and on images put together here, where a field must take a value no tool
// writes. Expected texts are written as code page 932 bytes in escapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "native/pe_version.h"

namespace updater::native {
namespace {

std::string Fixture(const std::string& name) {
    std::ifstream file(std::string(PE_FIXTURE_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file) << name;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

const std::optional<std::string> kNone;

// A fixture DLL and the version text expected of it.
struct FixtureVersion {
    const char* name;
    std::optional<std::string> expected;
};

// ---------------------------------------------------------------------------
// Built DLLs

TEST(PeVersionFixtures, JapaneseFileVersionAsTheVersionApiGivesIt) {
    const FixtureVersion cases[] = {
        {"japanese", "13.1.2.80"},
        {"both_tables", "7.1.0.12"},
        {"english_only", kNone},
        {"no_version", kNone},
        {"double_byte", "13.1.2.80 \x94\xC5"},  // "版"
        // "€" lacks in code page 932, "😀" is two surrogates, "①" is 0x87 0x40.
        {"unmappable", "1.0 ? ?? \x87\x40"},
        {"two_languages", "2.2.2.2"},  // Japanese before English
    };
    for (const auto& c : cases) {
        for (const char* suffix : {".pe32.dll", ".pe32plus.dll"}) {
            const std::string name = std::string(c.name) + suffix;
            EXPECT_EQ(ReadJapaneseFileVersion(Fixture(name)), c.expected) << name;
        }
    }
    const FixtureVersion pe32Only[] = {
        {"three_items.pe32.dll", "7.1.0"},
        {"crlf.pe32.dll", "7.1\r\n0.12"},
        {"empty_value.pe32.dll", ""},
        {"nul_inside.pe32.dll", "1.2"},             // the text ends at its first NUL
        {"lower_case_keys.pe32.dll", "5.6.7.8"},    // "041103a4" and "fileversion" match
        {"no_file_version.pe32.dll", kNone},
        {"neutral_language.pe32.dll", "4.4.4.4"},   // neutral before Japanese
        {"other_languages.pe32.dll", "5.5.5.5"},    // else the first language
        {"named_two.pe32.dll", kNone},              // only VS_VERSION_INFO (1) counts
    };
    for (const auto& c : pe32Only) EXPECT_EQ(ReadJapaneseFileVersion(Fixture(c.name)), c.expected) << c.name;

    const std::optional<std::string> longValue = ReadJapaneseFileVersion(Fixture("long_value.pe32plus.dll"));
    ASSERT_TRUE(longValue);
    std::string expected = "1.2.3.4 ";
    for (int i = 0; i < 300; ++i) expected += "\x92\xB7";  // "長"
    EXPECT_EQ(*longValue, expected);
}

TEST(PeVersionFixtures, FormatAndTablesForTheChecks) {
    const VersionResource both = ReadVersionResource(Fixture("both_tables.pe32plus.dll"));
    EXPECT_EQ(both.format, PeFormat::kPe32Plus);
    EXPECT_TRUE(both.hasVersionResource);
    ASSERT_EQ(both.tables.size(), 2u);
    EXPECT_EQ(both.tables[0].key, "040904B0");
    EXPECT_EQ(both.tables[0].fileVersion, "9.9.9.9");
    EXPECT_EQ(both.tables[1].key, "041103A4");
    EXPECT_EQ(FindFileVersion(both, "040904b0"), "9.9.9.9");

    const VersionResource english = ReadVersionResource(Fixture("english_only.pe32.dll"));
    EXPECT_EQ(english.format, PeFormat::kPe32);
    ASSERT_EQ(english.tables.size(), 1u);
    EXPECT_EQ(english.tables[0].fileVersion, "7.1.0.12");
    EXPECT_EQ(FindFileVersion(english, "041103A4"), kNone);

    const VersionResource none = ReadVersionResource(Fixture("no_version.pe32.dll"));
    EXPECT_EQ(none.format, PeFormat::kPe32);
    EXPECT_FALSE(none.hasVersionResource);

    const VersionResource noValue = ReadVersionResource(Fixture("no_file_version.pe32.dll"));
    ASSERT_EQ(noValue.tables.size(), 1u);
    EXPECT_EQ(noValue.tables[0].fileVersion, kNone);

    for (const char* name : {"empty.bin", "text.bin", "mz_only.bin", "dos_header_only.bin", "pe_signature_only.bin"}) {
        const std::string bytes = Fixture(name);
        EXPECT_EQ(DetectPeFormat(bytes), PeFormat::kNotPe) << name;
        EXPECT_EQ(ReadJapaneseFileVersion(bytes), kNone) << name;
    }
}

// Every prefix of a file, and every single-bit change of it, is read without
// a fault (the sanitizer build checks every access); a value read from a
// prefix is a prefix of the whole file's value, and no value holds a NUL.
TEST(PeVersionFixtures, TruncatedAndCorruptedFilesAreReadSafely) {
    for (const char* name : {"japanese.pe32.dll", "double_byte.pe32plus.dll", "unmappable.pe32.dll"}) {
        const std::string whole = Fixture(name);
        const std::string value = *ReadJapaneseFileVersion(whole);
        for (std::size_t size = 0; size < whole.size(); ++size) {
            // An exactly-sized heap copy: a read past the end is a fault.
            const auto copy = std::make_unique<char[]>(size + 1);
            std::copy(whole.begin(), whole.begin() + size, copy.get());
            const auto got = ReadJapaneseFileVersion(std::string_view(copy.get(), size));
            if (got) {
                EXPECT_EQ(value.compare(0, got->size(), *got), 0) << name << " cut at " << size;
            }
        }
        std::string changed = whole;
        for (std::size_t pos = 0; pos < changed.size(); ++pos) {
            for (int bit = 0; bit < 8; ++bit) {
                changed[pos] = static_cast<char>(changed[pos] ^ (1 << bit));
                const auto got = ReadJapaneseFileVersion(changed);
                if (got) {
                    EXPECT_EQ(got->find('\0'), std::string::npos) << name << " at " << pos;
                }
                changed[pos] = whole[pos];
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Reading through a ByteSource: only what the walk needs is asked for.

// Bytes in memory behind a stated size, recording what the reader asks for.
// Past the bytes it holds it gives fewer than asked, as a file that has
// shrunk since its size was taken does.
class RecordingSource final : public ByteSource {
public:
    RecordingSource(std::string_view bytes, std::uint64_t statedSize) : bytes_(bytes), statedSize_(statedSize) {}
    explicit RecordingSource(std::string_view bytes) : RecordingSource(bytes, bytes.size()) {}

    std::uint64_t Size() const override { return statedSize_; }
    std::size_t Read(std::uint64_t offset, char* into, std::size_t count) override {
        ++reads;
        if (offset > statedSize_ || count > statedSize_ - offset) pastTheEnd = true;
        if (offset >= bytes_.size()) return 0;
        const std::size_t given = std::min<std::size_t>(count, bytes_.size() - static_cast<std::size_t>(offset));
        std::copy_n(bytes_.data() + offset, given, into);
        copied += given;
        return given;
    }

    std::size_t reads = 0;
    std::uint64_t copied = 0;
    bool pastTheEnd = false;

private:
    std::string_view bytes_;
    std::uint64_t statedSize_;
};

std::vector<std::string> FixtureNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(PE_FIXTURE_DIR))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every fixture, whole and cut at every length: the same answer as from an
// exactly-sized copy in memory, never a read past the end.
TEST(PeVersionSource, AnswersAsTheBytesInMemoryOnEveryFixtureAndEveryCut) {
    const std::vector<std::string> names = FixtureNames();
    ASSERT_GE(names.size(), 25u);
    std::size_t withJapaneseVersion = 0;
    for (const std::string& name : names) {
        const std::string whole = Fixture(name);
        if (ReadJapaneseFileVersion(whole)) ++withJapaneseVersion;
        for (std::size_t size = 0; size <= whole.size(); ++size) {
            const auto copy = std::make_unique<char[]>(size + 1);
            std::copy(whole.begin(), whole.begin() + size, copy.get());
            const std::string_view cut(copy.get(), size);
            RecordingSource source(cut);
            const VersionResource fromSource = ReadVersionResource(source);
            ASSERT_TRUE(fromSource == ReadVersionResource(cut)) << name << " cut at " << size;
            ASSERT_FALSE(source.pastTheEnd) << name << " cut at " << size;
        }
    }
    EXPECT_GE(withJapaneseVersion, 10u);  // the comparison covers found versions, not only misses
}

// A version resource is found from the headers, the section table, the
// resource directories and the version block: data after them, however
// large, is not read, and a file that is not PE is given up after two bytes.
TEST(PeVersionSource, ReadsOnlyTheHeadersDirectoriesAndVersionBlock) {
    for (const char* name : {"japanese.pe32.dll", "double_byte.pe32plus.dll", "long_value.pe32plus.dll"}) {
        const std::string plain = Fixture(name);
        const std::string padded = plain + std::string(std::size_t{4} << 20, '\x5A');
        RecordingSource plainSource(plain);
        RecordingSource paddedSource(padded);
        const std::optional<std::string> version = ReadJapaneseFileVersion(plainSource);
        ASSERT_TRUE(version) << name;
        EXPECT_EQ(ReadJapaneseFileVersion(paddedSource), version) << name;
        EXPECT_EQ(paddedSource.copied, plainSource.copied) << name;
        EXPECT_LT(plainSource.copied, plain.size()) << name;
        EXPECT_LT(plainSource.copied, 4096u) << name;
    }
    const std::string data(std::size_t{1} << 20, 'x');
    RecordingSource dataSource(data);
    EXPECT_EQ(ReadJapaneseFileVersion(dataSource), kNone);
    EXPECT_LE(dataSource.copied, 2u);
    EXPECT_EQ(dataSource.reads, 1u);
}

// A file that has shrunk since its size was taken: short reads are taken as
// its end, no version is made up from bytes it no longer has.
TEST(PeVersionSource, AFileShorterThanItsStatedSizeGivesNoMadeUpVersion) {
    for (const char* name : {"japanese.pe32.dll", "double_byte.pe32plus.dll", "unmappable.pe32.dll"}) {
        const std::string whole = Fixture(name);
        const std::optional<std::string> value = ReadJapaneseFileVersion(whole);
        ASSERT_TRUE(value) << name;
        std::size_t found = 0;
        for (std::size_t size = 0; size < whole.size(); ++size) {
            const auto copy = std::make_unique<char[]>(size + 1);
            std::copy(whole.begin(), whole.begin() + size, copy.get());
            RecordingSource source(std::string_view(copy.get(), size), whole.size());
            const std::optional<std::string> got = ReadJapaneseFileVersion(source);
            if (got) {
                ++found;
                EXPECT_EQ(got, value) << name << " cut at " << size;
            }
        }
        // Cut after the version block, the file still gives its version.
        EXPECT_GT(found, 0u) << name;
    }
}

// ---------------------------------------------------------------------------
// Images put together here: one section ".rsrc" at RVA 0x1000, file offset
// 0x200, holding the resource directory (type 16, name 1, the given
// languages) and the version data.

void Put16(std::string& s, std::size_t at, std::uint32_t v) {
    if (s.size() < at + 2) s.resize(at + 2);
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::size_t at, std::uint32_t v) {
    Put16(s, at, v & 0xFFFF);
    Put16(s, at + 2, v >> 16);
}
void Align(std::string& s) { s.resize((s.size() + 3) & ~std::size_t{3}); }

std::string Utf16(const std::string& ascii) {
    std::string out;
    for (const char c : ascii) out += {c, '\0'};
    return out;
}

// A version block; wLength covers the key, the value and the children.
std::string Block(const std::string& key, const std::string& value, std::uint32_t valueLength, std::uint32_t type,
                  const std::string& children = "") {
    std::string b(6, '\0');
    b += Utf16(key) + std::string(2, '\0');
    Align(b);
    b += value;
    if (!children.empty()) Align(b);
    b += children;
    Put16(b, 0, static_cast<std::uint32_t>(b.size()));
    Put16(b, 2, valueLength);
    Put16(b, 4, type);
    return b;
}

// A string value, wValueLength in units including the NUL.
std::string Text(const std::string& key, const std::string& text) {
    const std::string value = Utf16(text) + std::string(2, '\0');
    return Block(key, value, static_cast<std::uint32_t>(value.size() / 2), 1);
}

std::string Padded(std::string b) {
    Align(b);
    return b;
}

std::string VersionInfo(const std::string& stringFileInfoChildren) {
    return Block("VS_VERSION_INFO", std::string(52, '\0'), 52, 0, Block("StringFileInfo", "", 0, 1, stringFileInfoChildren));
}

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::size_t kRootEntryTarget = 20, kNameEntryTarget = 44, kLanguageDirectory = 48;

std::string ResourceSection(const std::vector<std::pair<std::uint32_t, std::string>>& languages) {
    std::string s;
    Put16(s, 14, 1);  // root: one id entry
    Put32(s, 16, 16);
    Put32(s, kRootEntryTarget, 0x80000000u | 24);
    Put16(s, 24 + 14, 1);  // names: one id entry
    Put32(s, 24 + 16, 1);
    Put32(s, kNameEntryTarget, 0x80000000u | kLanguageDirectory);
    Put16(s, kLanguageDirectory + 14, static_cast<std::uint32_t>(languages.size()));
    std::size_t entry = kLanguageDirectory + 16 + 8 * languages.size();
    std::size_t data = entry + 16 * languages.size();
    for (std::size_t i = 0; i < languages.size(); ++i, entry += 16) {
        Put32(s, kLanguageDirectory + 16 + 8 * i, languages[i].first);
        Put32(s, kLanguageDirectory + 20 + 8 * i, static_cast<std::uint32_t>(entry));
        Put32(s, entry, kSectionRva + static_cast<std::uint32_t>(data));
        Put32(s, entry + 4, static_cast<std::uint32_t>(languages[i].second.size()));
        s.resize(data);
        s += languages[i].second;
        Align(s);
        data = s.size();
    }
    return s;
}

std::string Image(const std::string& section, bool plus = false) {
    std::string pe(0x200, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    Put32(pe, 0x3C, 0x40);
    pe.replace(0x40, 4, std::string("PE\0\0", 4));
    const std::size_t optional = 0x40 + 24, optionalSize = plus ? 240 : 224;
    Put16(pe, 0x46, 1);  // one section
    Put16(pe, 0x54, static_cast<std::uint32_t>(optionalSize));
    Put16(pe, optional, plus ? 0x20B : 0x10B);
    const std::size_t directories = optional + (plus ? 112 : 96);
    Put32(pe, directories - 4, 16);
    Put32(pe, directories + 16, kSectionRva);
    Put32(pe, directories + 20, static_cast<std::uint32_t>(section.size()));
    const std::size_t header = optional + optionalSize;
    pe.replace(header, 5, ".rsrc");
    Put32(pe, header + 8, static_cast<std::uint32_t>(section.size()));
    Put32(pe, header + 12, kSectionRva);
    Put32(pe, header + 16, static_cast<std::uint32_t>(section.size()));
    Put32(pe, header + 20, 0x200);
    return pe + section;
}

std::string JapaneseImage(const std::string& tableChildren, bool plus = false) {
    return Image(ResourceSection({{0x411, VersionInfo(Block("041103A4", "", 0, 1, tableChildren))}}), plus);
}

TEST(PeVersionImages, TheBuilderMakesWhatTheReaderReads) {
    EXPECT_EQ(ReadJapaneseFileVersion(JapaneseImage(Text("FileVersion", "1.2.3.4"))), "1.2.3.4");
    EXPECT_EQ(DetectPeFormat(JapaneseImage("", true)), PeFormat::kPe32Plus);
    EXPECT_EQ(ReadJapaneseFileVersion(JapaneseImage(Text("FileVersion", "5.6"), true)), "5.6");
}

// The version block is read as far as its data entry's size: a large
// section after it, and a root that claims more, cost nothing.
TEST(PeVersionImages, TheVersionBlockIsReadOnlyAsFarAsItsSize) {
    const std::string version = VersionInfo(Block("041103A4", "", 0, 1, Text("FileVersion", "3.1")));
    const std::string section = ResourceSection({{0x411, version}}) + std::string(std::size_t{1} << 20, '\x11');
    const std::string image = Image(section);
    RecordingSource source(image);
    EXPECT_EQ(ReadJapaneseFileVersion(source), "3.1");
    EXPECT_LT(source.copied, 4096u);

    std::string claimsMore = version;
    Put16(claimsMore, 0, 0xFFFF);
    const std::string bigger = Image(ResourceSection({{0x411, claimsMore}}) + std::string(std::size_t{1} << 20, '\0'));
    RecordingSource biggerSource(bigger);
    EXPECT_EQ(ReadJapaneseFileVersion(biggerSource), "3.1");
    EXPECT_LT(biggerSource.copied, 4096u);
}

TEST(PeVersionImages, ValueLengthsAreKeptWithinTheBlock) {
    const std::string text = Utf16("7.1.0.12");
    // Counted in bytes instead of units, with the NUL: cut at the NUL.
    EXPECT_EQ(ReadJapaneseFileVersion(JapaneseImage(Block("FileVersion", text + std::string(2, '\0'), 18, 1))),
              "7.1.0.12");
    // Without the NUL.
    EXPECT_EQ(ReadJapaneseFileVersion(JapaneseImage(Block("FileVersion", text, 8, 1))), "7.1.0.12");
    // Shorter than the text: only the counted units.
    EXPECT_EQ(ReadJapaneseFileVersion(JapaneseImage(Block("FileVersion", text, 3, 1))), "7.1");
    // Far longer than the block, and a sibling after it: never past the block.
    EXPECT_EQ(ReadJapaneseFileVersion(JapaneseImage(Padded(Block("FileVersion", text, 0xFFFF, 1)) +
                                                    Text("Comments", "x"))),
              "7.1.0.12");
    // Duplicates: the first value, the first table.
    EXPECT_EQ(ReadJapaneseFileVersion(JapaneseImage(Padded(Text("FileVersion", "1")) + Text("FILEVERSION", "2"))),
              "1");
    const std::string twoTables = Padded(Block("041103A4", "", 0, 1, Text("FileVersion", "3"))) +
                                  Block("041103a4", "", 0, 1, Text("FileVersion", "4"));
    EXPECT_EQ(ReadJapaneseFileVersion(Image(ResourceSection({{0x411, VersionInfo(twoTables)}}))), "3");
}

TEST(PeVersionImages, BrokenBlocksEndTheWalkWithoutLooping) {
    // A child of length 0 after the value: the walk stops there.
    std::string zero(8, '\0');
    EXPECT_EQ(ReadJapaneseFileVersion(JapaneseImage(zero + Text("FileVersion", "1"))), kNone);
    EXPECT_EQ(ReadJapaneseFileVersion(JapaneseImage(Padded(Text("FileVersion", "1")) + zero)), "1");
    // A key without a NUL inside its block.
    std::string noNul = Text("FileVersion", "1");
    Put16(noNul, 0, 6 + 22);
    EXPECT_EQ(ReadJapaneseFileVersion(JapaneseImage(noNul)), kNone);
    // A root that claims more than the resource's size is cut to it.
    std::string version = VersionInfo(Block("041103A4", "", 0, 1, Text("FileVersion", "9.8")));
    Put16(version, 0, 0xFFFF);
    EXPECT_EQ(ReadJapaneseFileVersion(Image(ResourceSection({{0x411, version}}))), "9.8");
    // Only the first StringFileInfo is searched, as the path lookup does.
    const std::string second = Block("VS_VERSION_INFO", std::string(52, '\0'), 52, 0,
                                     Padded(Block("StringFileInfo", "", 0, 1, Block("040904B0", "", 0, 1, ""))) +
                                         Block("StringFileInfo", "", 0, 1,
                                               Block("041103A4", "", 0, 1, Text("FileVersion", "2"))));
    EXPECT_EQ(ReadJapaneseFileVersion(Image(ResourceSection({{0x411, second}}))), kNone);
}

TEST(PeVersionImages, CyclicAndMisplacedDirectoriesAreRefused) {
    const std::string good = ResourceSection({{0x411, VersionInfo(Block("041103A4", "", 0, 1, Text("FileVersion", "1")))}});
    for (const std::size_t at : {kRootEntryTarget, kNameEntryTarget}) {
        std::string cyclic = good;
        Put32(cyclic, at, 0x80000000u);  // back to the root
        EXPECT_EQ(ReadJapaneseFileVersion(Image(cyclic)), kNone);
        Put32(cyclic, at, 0x80000000u | static_cast<std::uint32_t>(at - 20));  // to its own directory
        EXPECT_EQ(ReadJapaneseFileVersion(Image(cyclic)), kNone);
    }
    std::string languageIsDirectory = good;
    Put32(languageIsDirectory, kLanguageDirectory + 20, 0x80000000u | kLanguageDirectory);
    EXPECT_EQ(ReadJapaneseFileVersion(Image(languageIsDirectory)), kNone);
    // An entry count far beyond the data: only the entries that fit are read.
    std::string counts = good;
    Put16(counts, 12, 0xFFFF);
    EXPECT_EQ(ReadJapaneseFileVersion(Image(counts)), "1");
    // Resource data at an address no section holds, or past the end of the file.
    for (const std::uint32_t rva : {0x0u, 0x800u, 0xFFFFFFF0u, kSectionRva + 0x10000u}) {
        std::string away = good;
        Put32(away, kLanguageDirectory + 24, rva);
        EXPECT_EQ(ReadJapaneseFileVersion(Image(away)), kNone) << rva;
    }
}

TEST(PeVersionImages, HeadersThatDoNotDescribeAnImage) {
    const std::string good = JapaneseImage(Text("FileVersion", "1"));
    const auto with = [&](std::size_t at, std::uint32_t value, bool wide) {
        std::string bad = good;
        wide ? Put32(bad, at, value) : Put16(bad, at, value);
        return bad;
    };
    EXPECT_EQ(DetectPeFormat(with(0x3C, 0xFFFFFFFC, true)), PeFormat::kNotPe);   // e_lfanew past the end
    EXPECT_EQ(DetectPeFormat(with(0x58, 0x107, false)), PeFormat::kNotPe);       // a ROM image's magic
    EXPECT_EQ(DetectPeFormat(with(0x54, 90, false)), PeFormat::kNotPe);          // optional header too short
    EXPECT_EQ(DetectPeFormat(with(0x54, 0xFFFF, false)), PeFormat::kNotPe);      // optional header past the end
    // Still PE, but the version cannot be reached.
    EXPECT_EQ(ReadJapaneseFileVersion(with(0x46, 0xFFFF, false)), kNone);        // section table past the end
    EXPECT_EQ(ReadJapaneseFileVersion(with(0x58 + 92, 2, true)), kNone);         // no resource directory entry
    EXPECT_EQ(ReadJapaneseFileVersion(with(0x58 + 96 + 20, 0, true)), kNone);    // resource directory of size 0
    // Raw data beyond the virtual size is not mapped: the directory runs past it.
    EXPECT_EQ(ReadJapaneseFileVersion(with(0x58 + 224 + 8, 0x40, true)), kNone);
    EXPECT_EQ(DetectPeFormat(with(0x58 + 224 + 8, 0x40, true)), PeFormat::kPe32);
}

}  // namespace
}  // namespace updater::native
