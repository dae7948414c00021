// The code page 932 table Wine ships (c_932.nls, path WINE_CP932_TABLE), as
// the native layer's tests take Windows's own conversions from it: after a
// header come the double-byte-to-Unicode part (256 single-byte codes, an
// optional glyph table, then the lead-byte ranges by offset) and the
// Unicode-to-code table, one 16-bit code a unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace updater::native::test {

class WineCp932Table {
public:
    WineCp932Table() {
        std::ifstream file(WINE_CP932_TABLE, std::ios::binary);
        nls_.assign(std::istreambuf_iterator<char>(file), {});
        if (nls_.size() <= 26 || Word(1) != 932) throw std::runtime_error("not the code page 932 table");
        const std::size_t header = Word(0);
        toCode_ = header + Word(header) + 1;
        singleBytes_ = header + 1;
        std::size_t at = singleBytes_ + 256;
        at += Word(at) ? 257 : 1;
        leadOffsets_ = at + 1;
    }

    // The code Windows gives `unit` (one byte when 0xFF or less).
    std::uint16_t CodeOf(std::uint32_t unit) const { return Word(toCode_ + unit); }

    // The unit Windows decodes `code` to.
    std::uint16_t UnitOf(std::uint16_t code) const {
        if (code <= 0xFF) return Word(singleBytes_ + code);
        return Word(leadOffsets_ + Word(leadOffsets_ + (code >> 8)) + (code & 0xFF));
    }

private:
    std::uint16_t Word(std::size_t i) const {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(nls_.at(2 * i)) |
                                          (static_cast<unsigned char>(nls_.at(2 * i + 1)) << 8));
    }

    std::string nls_;
    std::size_t toCode_ = 0;
    std::size_t singleBytes_ = 0;
    std::size_t leadOffsets_ = 0;
};

}  // namespace updater::native::test
