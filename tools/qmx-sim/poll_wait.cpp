#include "poll_wait.h"

#include <ctime>

namespace qmx::sim {

int PollFor(pollfd* fds, nfds_t count, std::chrono::microseconds longest) {
    if (longest == kUntilBytes) return ::ppoll(fds, count, nullptr, nullptr);
    if (longest.count() < 0) longest = std::chrono::microseconds(0);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(longest);
    const timespec timeout{static_cast<time_t>(seconds.count()),
                           static_cast<long>(std::chrono::nanoseconds(longest - seconds).count())};
    return ::ppoll(fds, count, &timeout, nullptr);
}

}  // namespace qmx::sim
