#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/whole_file.h"

namespace qmx {
namespace {

// As many links as the kernel follows in one path.
constexpr int kMaxLinks = 40;

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& contents) {
    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string FollowLinks(const std::string& path, std::string& problem) {
    std::string current = path;
    for (int links = 0; links < kMaxLinks; ++links) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size()) return current;
        const std::string next(target.data(), static_cast<std::size_t>(length));
        current = next.front() == '/' ? next : DirectoryOf(current) + "/" + next;
    }
    problem = path + ": " + std::strerror(ELOOP);
    return {};
}

bool ReplaceWholeFile(const std::string& linkOrPath, const std::string& contents, std::string& problem) {
    const std::string path = FollowLinks(linkOrPath, problem);
    if (path.empty()) return false;
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
    // mkostemp makes the file private; the file it replaces keeps the
    // permissions it had, and a new one is for others to read.
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    const bool complete = WriteAll(fd, contents) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !complete || ::rename(name.data(), path.c_str()) != 0) {
        problem = "cannot write " + path + ": " + std::strerror(complete ? errno : error);
        ::unlink(name.data());
        return false;
    }
    return true;
}

void RemoveFileIfThere(const std::string& path) { std::remove(path.c_str()); }

}  // namespace qmx
