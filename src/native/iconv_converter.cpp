#include "native/iconv_converter.h"

#include <algorithm>
#include <vector>
#include <cerrno>
#include <stdexcept>

namespace updater::native {

IconvConverter::IconvConverter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
}

IconvConverter::~IconvConverter() { iconv_close(handle_); }

std::optional<std::string> IconvConverter::Convert(std::string_view input, const OnInvalid& onInvalid) const {
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // the initial state
    std::string out;
    // Room for any of the codec's conversions of the whole input (none makes
    // more than four bytes of one), so that one call usually does it all.
    std::vector<char> buffer(4 * input.size() + 16);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(handle_, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(buffer.data(), buffer.size() - outLeft);
        if (result != static_cast<std::size_t>(-1)) continue;
        if (error == E2BIG) continue;
        // EILSEQ (a character one side lacks) or EINVAL (cut short at the end).
        const std::size_t skip = onInvalid ? std::min(onInvalid(std::string_view(in, inLeft), out), inLeft) : 0;
        if (skip == 0) return std::nullopt;
        in += skip;
        inLeft -= skip;
    }
    // What a stateful target still holds back.
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    if (iconv(handle_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
    out.append(buffer.data(), buffer.size() - outLeft);
    return out;
}

}  // namespace updater::native
