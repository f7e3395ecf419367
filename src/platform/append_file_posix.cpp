#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/append_file.h"

namespace qmx {
namespace {

// How long a write may wait for room: a reader that takes nothing for
// this long is not keeping up, and the program must go on.
constexpr int kPatienceMs = 250;

}  // namespace

bool TAppendFile::Open(const std::string& path, std::string& problem) {
    Close();
    if (path == "-") {
        // Standard error stays as it is: its blocking mode is shared with
        // whoever else writes to the same terminal or pipe.
        FFd = STDERR_FILENO;
        FStandardError = true;
        return true;
    }
    FFd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    if (FFd < 0) {
        problem = errno == ENXIO ? "a FIFO with no reader" : std::strerror(errno);
        return false;
    }
    return true;
}

bool TAppendFile::Write(const std::string& text, std::string& problem) {
    if (FFd < 0) return false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    std::size_t done = 0;
    while (done < text.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd room{FFd, POLLOUT, 0};
        const int ready = ::poll(&room, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            problem = "nothing taken for " + std::to_string(kPatienceMs) + " ms (is its reader stopped?)";
            return false;
        }
        // No more than PIPE_BUF at a time: on a blocking descriptor (standard
        // error) that much goes at once once poll finds room.
        const std::size_t chunk = std::min<std::size_t>(text.size() - done, PIPE_BUF);
        const ssize_t put = ::write(FFd, text.data() + done, chunk);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
            problem = errno == EPIPE ? "its reader has gone" : std::strerror(errno);
            return false;
        }
    }
    return true;
}

void TAppendFile::Close() {
    if (FFd >= 0 && !FStandardError) ::close(FFd);
    FFd = -1;
    FStandardError = false;
}

bool TAppendFile::IsOpen() const { return FFd >= 0; }

}  // namespace qmx
