#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "text_file.h"

namespace qmx::tools {

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::string text;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (got < 0) return std::nullopt;
    return text;
}

}  // namespace qmx::tools
