#pragma once

// What systemd gives a notify service, for a program the test starts: the
// socket NOTIFY_SOCKET names, an AF_UNIX datagram socket of the test's own
// that hears each message the program sends, and a watchdog's time
// (WATCHDOG_USEC). The program talks to it through its real libsystemd.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

namespace qmx::test {

class TNotifySocket {
public:
    // Programs started while it lives are told of it, with a watchdog of
    // `watchdog`, as systemd tells a service's main process.
    explicit TNotifySocket(std::chrono::microseconds watchdog) {
        char dir[] = "/tmp/qmx-notify-XXXXXX";
        if (::mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
        FDir = dir;
        const std::string path = FDir + "/notify";
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        FSocket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (FSocket < 0 || ::bind(FSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot bind " + path);
        ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
        ::setenv("WATCHDOG_USEC", std::to_string(watchdog.count()).c_str(), 1);
        ::unsetenv("WATCHDOG_PID");  // whichever process the test starts
    }
    ~TNotifySocket() {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
        ::close(FSocket);
        ::unlink((FDir + "/notify").c_str());
        ::rmdir(FDir.c_str());
    }
    TNotifySocket(const TNotifySocket&) = delete;
    TNotifySocket& operator=(const TNotifySocket&) = delete;

    // The next message, as it was sent ("READY=1"); none when nothing came
    // within `limit`.
    std::optional<std::string> Next(std::chrono::milliseconds limit) {
        pollfd ready{FSocket, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(limit.count())) <= 0) return std::nullopt;
        char message[4096];
        const ssize_t got = ::recv(FSocket, message, sizeof message, 0);
        if (got < 0) return std::nullopt;
        return std::string(message, static_cast<std::size_t>(got));
    }

private:
    std::string FDir;
    int FSocket = -1;
};

}  // namespace qmx::test
