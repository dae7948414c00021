// The in-memory Windows's answers to seam/ansi_text.h: the ANSI code page's
// texts: upper case and exact conversions.
#include <iconv.h>

#include "fakes/fake_world.h"
#include "rules/cp932.h"
#include "seam/ansi_text.h"

namespace updater {

using fake::FakeWindows;
using fake::World;

std::string UpperCaseAnsi(const std::string& text) { return UpperCaseAscii(text); }

// The C library's code page 932, without near matches: "//" options are not given.
std::optional<std::string> Utf8ToAnsiExact(const std::string& utf8) {
    const iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(utf8.size() * 2 + 1, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &to, &outLeft);
    iconv_close(converter);
    if (result != 0 || inLeft != 0) return std::nullopt;  // irreversible conversions count too
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace updater
