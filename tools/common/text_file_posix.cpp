#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

std::optional<std::string> ReadInputFile(const std::string& path, std::size_t limit, std::string& text,
                                         bool (*stopped)()) {
    const auto cannot = [&](int error) { return "cannot read " + path + ": " + std::strerror(error); };
    int fd = -1;
    // A FIFO's opening waits for its writer: a stop ends the wait.
    while ((fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)) < 0)
        if (errno != EINTR || (stopped != nullptr && stopped())) return cannot(errno);
    text.clear();
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) break;
        if (got < 0 && errno == EINTR && (stopped == nullptr || !stopped())) continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            return cannot(error);
        }
        if (text.size() + static_cast<std::size_t>(got) > limit) {
            ::close(fd);
            return path + " is larger than " + LimitText(limit) + ", the most taken";
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return std::nullopt;
}

std::string LimitText(std::size_t limit) { return std::to_string(limit >> 20) + " MB"; }

}  // namespace qmx::tools
