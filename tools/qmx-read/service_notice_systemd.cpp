#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>

#include "service_notice.h"

namespace qmx::tools {

// Each call finds NOTIFY_SOCKET itself and does nothing without it.

TServiceNotice::TServiceNotice() {
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        FAliveEvery = std::max(std::chrono::milliseconds(1), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                                 std::chrono::microseconds(usec / 2)));
}

void TServiceNotice::Ready() const { sd_notify(0, "READY=1"); }

void TServiceNotice::Status(const std::string& line) const { sd_notify(0, ("STATUS=" + line).c_str()); }

void TServiceNotice::Alive() const {
    if (FAliveEvery) sd_notify(0, "WATCHDOG=1");
}

void NoticeStopping() { sd_notify(0, "STOPPING=1"); }

}  // namespace qmx::tools
