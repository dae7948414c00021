// One conversion of the C library's iconv, held for reuse: the native tools
// turn names and version texts between UTF-8, UTF-16 and code page 932.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace updater::native {

class IconvConverter {
public:
    // What to do where the input cannot be converted: append a replacement to
    // `out` and return how many bytes of `rest` (the input from there on) it
    // stands for, at least 1; or return 0 to give the whole conversion up.
    using OnInvalid = std::function<std::size_t(std::string_view rest, std::string& out)>;

    // Raises std::runtime_error when iconv cannot convert `from` to `to`.
    IconvConverter(const char* to, const char* from);
    ~IconvConverter();
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    // `input` converted from the initial state. Nothing when it cannot be
    // converted and `onInvalid` is empty or gives up.
    std::optional<std::string> Convert(std::string_view input, const OnInvalid& onInvalid = {}) const;

private:
    iconv_t handle_;
};

}  // namespace updater::native
