#pragma once

// What the reader tells the service manager when systemd runs it as a
// notify service (qmx-read@.service, NOTIFY_SOCKET set): that it is ready,
// how its last round went, that it is alive, for the unit's watchdog, and
// that it is stopping. Run any other way (from a terminal, by cron, on
// Windows, or built without libsystemd) it tells nothing, and the reader
// runs as it always has.

#include <chrono>
#include <optional>
#include <string>

namespace qmx::tools {

class TServiceNotice {
public:
    // Learns whether the unit has a watchdog, and how often it wants to
    // hear from the reader.
    TServiceNotice();

    void Ready() const;
    // One short line, which `systemctl status` shows.
    void Status(const std::string& line) const;
    // The reader is making progress. Said only from the reading's own
    // thread, never from one of its own: a reading that hangs, or a reader
    // stopped (SIGSTOP), falls silent, and the watchdog ends it.
    void Alive() const;
    // How long the reader may go without saying Alive: half the watchdog's
    // time, so that a late tick still comes in time; none without one.
    std::optional<std::chrono::milliseconds> AliveEvery() const { return FAliveEvery; }

private:
    std::optional<std::chrono::milliseconds> FAliveEvery;
};

// Said as a stop begins, from the thread that takes the stop: systemd then
// shows the unit deactivating rather than a reader that went silent.
void NoticeStopping();

}  // namespace qmx::tools
