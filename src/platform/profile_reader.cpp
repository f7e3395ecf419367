#include "platform/profile_file.h"

#include <cstddef>

namespace qmx {
namespace {

constexpr std::size_t kMaxLine = 4096;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// Reads one line into `line`, cut at kMaxLine characters; false at the end.
bool ReadLine(std::istream& in, std::string& line) {
    line.clear();
    bool any = false;
    for (int c = in.get(); c != std::char_traits<char>::eof(); c = in.get()) {
        any = true;
        if (c == '\n') return true;
        if (line.size() < kMaxLine) line.push_back(static_cast<char>(c));
    }
    return any;
}

}  // namespace

std::optional<std::string> FindProfileValue(std::istream& in, std::string_view section,
                                            std::string_view key) {
    std::string line;
    line.reserve(kMaxLine);
    bool inSection = false;
    bool firstLine = true;
    while (ReadLine(in, line)) {
        std::string_view text = line;
        if (firstLine && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        firstLine = false;
        text = Trim(text);
        if (text.empty() || text.front() == ';') continue;
        if (text.front() == '[') {
            text.remove_prefix(1);
            text = text.substr(0, text.find(']'));
            inSection = EqualNoCase(Trim(text), section);
            continue;
        }
        if (!inSection) continue;
        const auto equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        if (EqualNoCase(Trim(text.substr(0, equals)), key))
            return std::string(Unquote(Trim(text.substr(equals + 1))));
    }
    return std::nullopt;
}

std::uint32_t ProfileTextToInt(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    return negative ? 0u - value : value;
}

}  // namespace qmx
