#include <cerrno>
#include <cstring>

#include "platform/append_file.h"

namespace qmx {

// Windows opens a named pipe's client end at once or not at all, and a
// trace is a file or standard error there: plain C streams do.
bool TAppendFile::Open(const std::string& path, std::string& problem) {
    Close();
    if (path == "-") {
        FFile = stderr;
        FStandardError = true;
        return true;
    }
    FFile = std::fopen(path.c_str(), "a");
    if (FFile == nullptr) {
        problem = std::strerror(errno);
        return false;
    }
    return true;
}

bool TAppendFile::Write(const std::string& text, std::string& problem) {
    if (FFile == nullptr) return false;
    if (std::fwrite(text.data(), 1, text.size(), FFile) != text.size() || std::fflush(FFile) != 0) {
        problem = std::strerror(errno);
        return false;
    }
    return true;
}

void TAppendFile::Close() {
    if (FFile != nullptr && !FStandardError) std::fclose(FFile);
    FFile = nullptr;
    FStandardError = false;
}

bool TAppendFile::IsOpen() const { return FFile != nullptr; }

}  // namespace qmx
