#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/whole_file.h"
#include "replaceable_file.h"

namespace qmx::tools {

bool CheckReplaceable(const std::string& path, std::string& problem) {
    const std::string target = FollowLinks(path, problem);
    if (target.empty()) return false;
    const std::string named = target == path ? std::string("it") : "its target " + target;
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        problem = named + " is " +
                  (S_ISFIFO(info.st_mode)  ? "a FIFO"
                   : S_ISDIR(info.st_mode) ? "a directory"
                                           : "a device or other special file") +
                  ", not a file to replace";
        return false;
    }
    const std::size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        problem = "no such directory " + directory;
        return false;
    }
    if (::access(directory.c_str(), W_OK) != 0) {
        problem = "cannot write in " + directory + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace qmx::tools
