#include <windows.h>

#include <vector>

#include "text.h"

namespace qmx::tools {

std::string Cp1251ToUtf8(const std::string& text) {
    if (text.empty()) return text;
    const int size = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(1251, 0, text.data(), size, nullptr, 0);
    if (wide <= 0) return text;
    std::vector<wchar_t> utf16(static_cast<std::size_t>(wide));
    MultiByteToWideChar(1251, 0, text.data(), size, utf16.data(), wide);
    const int narrow = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) return text;
    std::string utf8(static_cast<std::size_t>(narrow), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, utf8.data(), narrow, nullptr, nullptr);
    return utf8;
}

}  // namespace qmx::tools
