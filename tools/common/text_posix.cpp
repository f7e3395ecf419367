#include "text.h"

#include <iconv.h>

#include <vector>

namespace qmx::tools {

std::string Cp1251ToUtf8(const std::string& text) {
    iconv_t converter = ::iconv_open("UTF-8", "CP1251");
    if (converter == reinterpret_cast<iconv_t>(-1)) return text;
    std::vector<char> out(text.size() * 3 + 1);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = ::iconv(converter, &in, &inLeft, &to, &outLeft);
    ::iconv_close(converter);
    if (result == static_cast<std::size_t>(-1)) return text;
    return std::string(out.data(), static_cast<std::size_t>(to - out.data()));
}

}  // namespace qmx::tools
