#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "atomic_file.h"

namespace qmx::tools {

bool ReplaceFileContents(const std::string& path, const std::string& contents, std::string& problem) {
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // A hidden name that does not end like the file: a collector that reads
    // *.prom files never picks up a half-written one.
    std::string pattern = (slash == std::string::npos ? "" : directory) + "." + base + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        problem = "cannot make a temporary file in " + directory + ": " + std::strerror(errno);
        return false;
    }
    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    // mkostemp makes the file private; the file it replaces is for others
    // to read.
    const bool complete = written == contents.size() && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !complete || ::rename(name.data(), path.c_str()) != 0) {
        problem = "cannot write " + path + ": " + std::strerror(complete ? errno : error);
        ::unlink(name.data());
        return false;
    }
    return true;
}

}  // namespace qmx::tools
