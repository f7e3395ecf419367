#include "platform/shown_text.h"

#include <cstdio>

namespace qmx {
namespace {

std::string Escaped(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", byte);
    return text;
}

// The length of the UTF-8 character at `at`, or 0 when it is none or a
// control character (U+0080 to U+009F, which terminals obey too).
std::size_t CharacterLength(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    if (lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) return 0;
    return length;
}

}  // namespace

std::string Shown(const std::string& text) {
    std::string shown;
    std::size_t at = 0, characters = 0;
    for (; at < text.size() && characters < kShownCharacters; ++characters) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += text[at++];
        } else if (const std::size_t length = byte >= 0x80 ? CharacterLength(text, at) : 0; length > 0) {
            shown += text.substr(at, length);
            at += length;
        } else {
            shown += Escaped(byte);
            ++at;
        }
    }
    if (at < text.size()) shown += "...";
    return shown;
}

}  // namespace qmx
