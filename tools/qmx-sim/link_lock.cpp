#include "link_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace qmx::sim {
namespace {

std::string HolderOf(int fd) {
    char text[32] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    const std::string pid = got > 0 ? std::string(text, static_cast<std::size_t>(got)) : std::string();
    const auto digits = pid.find_first_not_of("0123456789");
    if (pid.empty() || digits == 0) return "another qmx-sim serves on it";
    return "qmx-sim pid " + pid.substr(0, digits) + " serves on it";
}

bool SameFile(int fd, const std::string& path) {
    struct stat held {}, named {};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

}  // namespace

TLinkLock::TLinkLock(const std::string& link) : FPath(link + ".lock") {
    // A lock taken on a file its holder removed meanwhile guards nothing:
    // taken again on the file now there.
    for (int attempt = 0; attempt < 10; ++attempt) {
        FFd = ::open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (FFd < 0) throw std::runtime_error("cannot make the lock " + FPath + ": " + std::strerror(errno));
        if (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
            const std::string holder = errno == EWOULDBLOCK ? HolderOf(FFd) : std::strerror(errno);
            ::close(FFd);
            throw std::runtime_error(holder);
        }
        if (SameFile(FFd, FPath)) break;
        ::close(FFd);
        FFd = -1;
    }
    if (FFd < 0) throw std::runtime_error("cannot hold the lock " + FPath + ": it is replaced as it is taken");
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(FFd, 0) != 0 || ::pwrite(FFd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        // The lock holds all the same; only the pid is not there to tell.
    }
}

TLinkLock::~TLinkLock() {
    if (FFd < 0) return;
    ::unlink(FPath.c_str());
    ::close(FFd);
}

}  // namespace qmx::sim
