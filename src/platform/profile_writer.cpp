#include <cstddef>

#include "platform/profile_file.h"

namespace qmx {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

struct TLine {
    std::size_t Start;    // first character
    std::size_t End;      // before the line ending
    std::size_t Next;     // start of the next line
};

}  // namespace

std::string WithProfileValue(const std::string& text, std::string_view section, std::string_view key,
                             const std::string& value) {
    const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    bool inSection = false;
    bool sectionSeen = false;
    std::size_t insertAt = std::string::npos;  // after the section's last line with content
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t newline = text.find('\n', at);
        TLine line{at, newline == std::string::npos ? text.size() : newline,
                   newline == std::string::npos ? text.size() : newline + 1};
        if (line.End > line.Start && text[line.End - 1] == '\r') --line.End;
        std::string_view content = std::string_view(text).substr(line.Start, line.End - line.Start);
        // A byte order mark that opens the text is not part of its first
        // line; one anywhere else is (as the reader sees it).
        if (line.Start == 0 && content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
        content = Trim(content);
        at = line.Next;
        if (content.empty() || content.front() == ';') continue;
        if (content.front() == '[') {
            std::string_view name = content.substr(1);
            name = Trim(name.substr(0, name.find(']')));
            if (inSection) break;  // the wanted section ended without the key
            inSection = EqualNoCase(name, section);
            if (inSection) {
                sectionSeen = true;
                insertAt = line.Next;
            }
            continue;
        }
        if (!inSection) continue;
        insertAt = line.Next;
        const std::size_t equals = content.find('=');
        if (equals == std::string_view::npos || !EqualNoCase(Trim(content.substr(0, equals)), key)) continue;
        // Keep the key as written and whatever stood before the value.
        const std::size_t equalsAt = text.find('=', line.Start);
        std::size_t valueAt = equalsAt + 1;
        while (valueAt < line.End && (text[valueAt] == ' ' || text[valueAt] == '\t')) ++valueAt;
        return text.substr(0, valueAt) + value + text.substr(line.End);
    }
    const std::string entry = std::string(key) + "=" + value + eol;
    if (sectionSeen) {
        std::string head = text.substr(0, insertAt);
        if (!head.empty() && head.back() != '\n') head += eol;
        return head + entry + text.substr(insertAt);
    }
    std::string result = text;
    if (!result.empty() && result.back() != '\n') result += eol;
    return result + "[" + std::string(section) + "]" + eol + entry;
}

}  // namespace qmx
