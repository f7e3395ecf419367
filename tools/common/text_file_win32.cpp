#include <cerrno>
#include <cstdio>
#include <cstring>

#include "text_file.h"

namespace qmx::tools {

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    std::string text;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) != 0) text.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return std::nullopt;
    return text;
}

std::optional<std::string> ReadInputFile(const std::string& path, std::size_t limit, std::string& text, bool (*)()) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "cannot read " + path + ": " + std::strerror(errno);
    text.clear();
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) != 0) {
        if (text.size() + got > limit) {
            std::fclose(file);
            return path + " is larger than " + LimitText(limit) + ", the most taken";
        }
        text.append(chunk, got);
    }
    const int error = std::ferror(file) != 0 ? errno : 0;
    std::fclose(file);
    if (error != 0) return "cannot read " + path + ": " + std::strerror(error);
    return std::nullopt;
}

std::string LimitText(std::size_t limit) { return std::to_string(limit >> 20) + " MB"; }

}  // namespace qmx::tools
