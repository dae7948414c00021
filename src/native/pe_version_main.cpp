// pe-version: prints what the version reader finds in a file.
//
//   pe-version FILE        the Japanese FileVersion as hexadecimal code page
//                          932 bytes ("" for an empty text), or "none"
//   pe-version --all FILE  also the format and every string table:
//                            format pe32|pe32+|none
//                            resource yes|no
//                            table KEY-AS-HEX VALUE-AS-HEX|none   (one a table)
//                            japanese VALUE-AS-HEX|none
//
// Exit status: 0 when the file was read, 2 on bad usage or a file that
// cannot be read.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "native/pe_version.h"
#include "rules/cp932.h"

namespace {

std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out.push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 0xF]);
    }
    return out;
}

std::string HexOrNone(const std::optional<std::string>& value) { return value ? Hex(*value) : "none"; }

const char* FormatName(updater::native::PeFormat format) {
    switch (format) {
    case updater::native::PeFormat::kPe32: return "pe32";
    case updater::native::PeFormat::kPe32Plus: return "pe32+";
    case updater::native::PeFormat::kNotPe: break;
    }
    return "none";
}

}  // namespace

int main(int argc, char** argv) {
    const bool all = argc == 3 && std::string_view(argv[1]) == "--all";
    if (argc != 2 && !all) {
        std::fprintf(stderr, "usage: pe-version [--all] FILE\n");
        return 2;
    }
    const char* path = argv[argc - 1];
    std::string bytes;
    try {
        std::ifstream file(path, std::ios::binary);
        if (!file) throw std::runtime_error("cannot open");
        bytes.assign(std::istreambuf_iterator<char>(file), {});  // throws on a read error
    } catch (const std::exception&) {
        std::fprintf(stderr, "pe-version: cannot read %s\n", path);
        return 2;
    }
    const updater::native::VersionResource resource = updater::native::ReadVersionResource(bytes);
    const std::optional<std::string> japanese = updater::native::FindFileVersion(resource, updater::kJapaneseStringTable);
    if (all) {
        std::printf("format %s\n", FormatName(resource.format));
        std::printf("resource %s\n", resource.hasVersionResource ? "yes" : "no");
        for (const updater::native::StringTable& table : resource.tables)
            std::printf("table %s %s\n", Hex(table.key).c_str(), HexOrNone(table.fileVersion).c_str());
        std::printf("japanese %s\n", HexOrNone(japanese).c_str());
    } else {
        std::printf("%s\n", HexOrNone(japanese).c_str());
    }
    return 0;
}
