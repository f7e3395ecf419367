#include "fd_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "poll_wait.h"

namespace qmx::sim {
namespace {

using namespace std::chrono_literals;

// How long a line nobody holds is left alone before it is looked at again.
constexpr auto kIdleLine = 20ms;

}  // namespace

TFdLine::TFdLine(int fd) : FFd(fd) {
    if (::pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
    ::fcntl(FFd, F_SETFL, ::fcntl(FFd, F_GETFL) | O_NONBLOCK);
}

TFdLine::~TFdLine() {
    ::close(FWake[0]);
    ::close(FWake[1]);
}

void TFdLine::Interrupt() {
    FInterrupted = true;
    const char byte = 1;
    [[maybe_unused]] const auto ignored = ::write(FWake[1], &byte, 1);
}

bool TFdLine::Rest(std::chrono::microseconds duration) {
    if (FInterrupted) return false;
    pollfd wake{FWake[0], POLLIN, 0};
    return PollFor(&wake, 1, duration) == 0 && !FInterrupted;
}

std::size_t TFdLine::Receive(std::uint8_t* buffer, std::size_t capacity, std::chrono::microseconds longest) {
    if (FInterrupted) return 0;
    pollfd fds[2] = {{FFd, POLLIN, 0}, {FWake[0], POLLIN, 0}};
    if (PollFor(fds, 2, longest) <= 0 || FInterrupted) return 0;
    const auto idle = std::min<std::chrono::microseconds>(kIdleLine, longest);
    if ((fds[0].revents & POLLIN) == 0) {
        // Nobody holds the other end yet (or any more): wait for one.
        if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) Rest(idle);
        return 0;
    }
    const ssize_t got = ::read(FFd, buffer, capacity);
    if (got <= 0) {
        Rest(idle);
        return 0;
    }
    return static_cast<std::size_t>(got);
}

std::size_t TFdLine::Send(const std::uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(FFd, data + done, count - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
            break;  // the line has gone
        } else if (!Rest(1ms)) {
            break;
        }
    }
    return done;
}

}  // namespace qmx::sim
