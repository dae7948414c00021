// Where a PE file keeps its signature: every field read within the bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "rules/certificate_table.h"

namespace updater {
namespace {

using State = EmbeddedSignature::State;

constexpr std::size_t kOptional = 0x80 + 24;  // e_lfanew 0x80
constexpr std::size_t kHeaders = 0x200;       // SizeOfHeaders, where the table starts
const std::string kDer = "0\x82signed data";

// `bytes` with a little-endian field of `width` bytes written at `offset`.
std::string Put(std::string bytes, std::size_t offset, std::uint32_t value, std::size_t width = 4) {
    std::string field;
    for (std::size_t i = 0; i < width; ++i) field += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes.replace(offset, width, field);
}

std::size_t TableEntry(bool plus) { return kOptional + (plus ? 112 : 96) + 4 * 8; }

// Headers, then a certificate table of one WIN_CERTIFICATE (revision 2.0,
// PKCS#7 SignedData) holding kDer, padded to 8 bytes.
std::string SignedPe(bool plus) {
    std::string pe = "MZ" + std::string(kHeaders - 2, '\0');
    pe = Put(Put(pe, 0x3C, 0x80), 0x80, 0x4550);  // "PE\0\0"
    pe = Put(Put(pe, kOptional, plus ? 0x20B : 0x10B, 2), kOptional + 60, kHeaders);
    const std::uint32_t length = static_cast<std::uint32_t>(8 + kDer.size());
    pe = Put(Put(Put(pe, TableEntry(plus) - 36, 16), TableEntry(plus), kHeaders), TableEntry(plus) + 4, 24);
    return pe + Put(Put(Put(std::string(8, '\0'), 0, length), 4, 0x200, 2), 6, 2, 2) + kDer + std::string(3, '\0');
}

TEST(CertificateTable, FindsTheSignatureWithinBoundsOnly) {
    const std::string pe = SignedPe(true);
    const std::size_t entry = TableEntry(true);
    const struct {
        const char* what;
        std::string file;
        State state;
    } rows[] = {
        {"PE32+", pe, State::kFound},
        {"PE32", SignedPe(false), State::kFound},
        {"empty", "", State::kNotPe},
        {"cut inside the DOS header", pe.substr(0, 0x3C), State::kNotPe},
        {"e_lfanew past the end", Put(pe, 0x3C, 0x10000), State::kNotPe},
        {"no PE signature", Put(pe, 0x80, 0x5045), State::kNotPe},
        {"ROM magic", Put(pe, kOptional, 0x107, 2), State::kNotPe},
        {"cut inside data directory 4", pe.substr(0, entry + 6), State::kNotPe},
        {"four data directories", Put(pe, entry - 36, 4), State::kAbsent},
        {"an empty table", Put(pe, entry + 4, 0), State::kAbsent},
        {"a table past the end", Put(pe, entry + 4, 0x1000), State::kMalformed},
        {"a table starting past the end", Put(pe, entry, 0x10000), State::kMalformed},
        {"a table cut short", pe.substr(0, pe.size() - 1), State::kMalformed},
        {"a table smaller than an entry's header", Put(pe, entry + 4, 7), State::kMalformed},
        {"an X.509 certificate entry", Put(pe, kHeaders + 6, 1, 2), State::kMalformed},
        {"an entry longer than the table", Put(pe, kHeaders, 25), State::kMalformed},
        {"an entry of its header alone", Put(pe, kHeaders, 8), State::kMalformed},
    };
    for (const auto& row : rows) {
        const EmbeddedSignature found = FindEmbeddedSignature(row.file);
        EXPECT_EQ(found.state, row.state) << row.what;
        EXPECT_EQ(found.signedData, row.state == State::kFound ? kDer : "") << row.what;
    }
}

TEST(CertificateTable, TheLoadedHeadersMayDifferFromTheFileInImageBaseOnly) {
    for (const bool plus : {true, false}) {
        const std::string file = SignedPe(plus), headers = file.substr(0, kHeaders);
        const std::size_t imageBase = kOptional + (plus ? 24 : 28), width = plus ? 8 : 4;
        EXPECT_TRUE(BeginsWithLoadedHeaders(file, headers));
        EXPECT_TRUE(BeginsWithLoadedHeaders(file, Put(headers, imageBase + width - 4, 0x7FF6)));
        EXPECT_FALSE(BeginsWithLoadedHeaders(file, Put(headers, imageBase + width, 1))) << "past ImageBase";
        EXPECT_FALSE(BeginsWithLoadedHeaders(file, Put(headers, kOptional + 64, 0x1234))) << "checksum";
        EXPECT_FALSE(BeginsWithLoadedHeaders(file, Put(headers, TableEntry(plus) + 4, 0))) << "no table";
        EXPECT_FALSE(BeginsWithLoadedHeaders(file.substr(0, kHeaders - 1), headers)) << "a shorter file";
        EXPECT_FALSE(BeginsWithLoadedHeaders(file, headers.substr(0, kHeaders - 8))) << "not SizeOfHeaders";
    }
}

TEST(CertificateTable, DerContentsFollowTheTagAndADefiniteLengthThatFitsTheBytes) {
    EXPECT_EQ(DerContents(std::string("\x04\x02" "ab")).value_or("-"), "ab");
    EXPECT_EQ(DerContents("\x30\x81\x80" + std::string(0x80, 'x')).value_or("-"), std::string(0x80, 'x'));
    for (const std::string& bad : {std::string("\x04\x03" "ab"), std::string("\x04\x01" "ab"),
                                   std::string("\x30\x80" "ab\0\0", 6), std::string("\x1F\x01" "a"),
                                   std::string("\x04")})
        EXPECT_FALSE(DerContents(bad)) << "cut short, bytes past, indefinite, high tag, no length";
}

}  // namespace
}  // namespace updater
