#include "pty_end.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace qmx::sim {
namespace {

constexpr char kPtyDirectory[] = "/dev/pts/";

std::optional<std::string> LinkTarget(const std::string& path) {
    char target[4096];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0) return std::nullopt;
    return std::string(target, static_cast<std::size_t>(length));
}

}  // namespace

std::optional<std::string> LinkRefusal(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return std::nullopt;
        return std::string(std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) return std::string("it is a directory");
    if (!S_ISLNK(info.st_mode)) return std::string("it exists and is not a link this program made");
    const auto target = LinkTarget(path);
    if (!target || target->rfind(kPtyDirectory, 0) != 0)
        return "it is a link to " + target.value_or("somewhere else") + ", not to a pty";
    return std::nullopt;
}

TPtyEnd::TPtyEnd(const std::string& link) {
    if (!link.empty()) {
        try {
            FLinkLock = std::make_unique<TLinkLock>(link);
        } catch (const std::runtime_error& error) {
            throw std::runtime_error("will not replace " + link + ": " + error.what());
        }
        if (const auto refusal = LinkRefusal(link)) throw std::runtime_error("will not replace " + link + ": " + *refusal);
    }
    OpenPty();
    const char* name = FSlavePath.c_str();
    if (link.empty()) return;
    ::unlink(link.c_str());  // none, or a pty link left behind: checked above
    if (::symlink(name, link.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(FSlave);
        ::close(FMaster);
        throw std::runtime_error("cannot make the link " + link + ": " + reason);
    }
    FLink = link;
}

// Both ends close-on-exec from the start, as openpty cannot make them.
void TPtyEnd::OpenPty() {
    const auto fail = [this](const char* what) {
        const std::string reason = std::strerror(errno);
        if (FSlave >= 0) ::close(FSlave);
        if (FMaster >= 0) ::close(FMaster);
        throw std::runtime_error(std::string("cannot make a pty: ") + what + ": " + reason);
    };
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FMaster < 0) fail("posix_openpt");
    char name[256] = {};
    if (::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0 || ::ptsname_r(FMaster, name, sizeof name) != 0)
        fail("ptsname");
    FSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FSlave < 0) fail(name);
    termios raw{};
    if (::tcgetattr(FSlave, &raw) != 0) fail("tcgetattr");
    ::cfmakeraw(&raw);
    ::cfsetspeed(&raw, B9600);
    if (::tcsetattr(FSlave, TCSANOW, &raw) != 0) fail("tcsetattr");
    FSlavePath = name;
}

void TPtyEnd::RemoveLink() {
    // Someone may have put something else there since: only the link to
    // this pty is removed.
    if (!FLink.empty() && LinkTarget(FLink) == FSlavePath) ::unlink(FLink.c_str());
    FLink.clear();
    FLinkLock.reset();
}

TPtyEnd::~TPtyEnd() {
    RemoveLink();
    ::close(FSlave);
    ::close(FMaster);
}

}  // namespace qmx::sim
