#include "report.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace e2etool {

namespace {

std::string Escape(const std::string& value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char byte : value) {
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

}  // namespace

void InitReport() {
    _setmode(_fileno(stdout), _O_BINARY);
}

void Report(const std::string& key, const std::string& value) {
    const std::string line = key + "=" + Escape(value) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

void Report(const std::string& key, long long value) {
    Report(key, std::to_string(value));
}

void ReportNow(const std::string& key, const std::string& value) {
    Report(key, value);
    std::fflush(stdout);
}

}  // namespace e2etool
