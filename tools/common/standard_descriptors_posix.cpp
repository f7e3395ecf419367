#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "standard_descriptors.h"

namespace qmx::tools {

bool EnsureStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is this one: every lower one is open.
        // Not close-on-exec: it stands for the standard stream.
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened != fd) {
            if (opened >= 0) ::close(opened);
            return false;
        }
    }
    return true;
}

}  // namespace qmx::tools
