#include "sim_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace qmx::sim {

TSimServer::TSimServer(TGauge& gauge, int fd, TWireTrace* trace) : FGauge(gauge), FFd(fd), FTrace(trace) {
    if (::pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
    FThread = std::thread([this] { Run(); });
}

TSimServer::~TSimServer() {
    Stop();
    ::close(FWake[0]);
    ::close(FWake[1]);
}

void TSimServer::Stop() {
    if (FStopping.exchange(true)) return;
    const char byte = 1;
    [[maybe_unused]] const auto ignored = ::write(FWake[1], &byte, 1);
    if (FThread.joinable()) FThread.join();
}

bool TSimServer::Pause(int milliseconds) {
    pollfd wake{FWake[0], POLLIN, 0};
    return ::poll(&wake, 1, milliseconds) == 0 && !FStopping;
}

void TSimServer::Send(const TReply& reply) {
    if (reply.DelayMs > 0 && !Pause(reply.DelayMs)) return;
    const std::size_t step = reply.ByteGapMs > 0 ? 1 : reply.Bytes.size();
    for (std::size_t at = 0; at < reply.Bytes.size(); at += step) {
        if (at != 0 && reply.ByteGapMs > 0 && !Pause(reply.ByteGapMs)) return;
        const std::size_t count = std::min(step, reply.Bytes.size() - at);
        std::size_t done = 0;
        while (done < count) {
            const ssize_t put = ::write(FFd, reply.Bytes.data() + at + done, count - done);
            if (put > 0) {
                if (FTrace != nullptr) FTrace->Log(TWireTrace::TDirection::Sent, reply.Bytes.data() + at + done, static_cast<std::size_t>(put));
                done += static_cast<std::size_t>(put);
            } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
                return;  // the line has gone
            } else if (!Pause(1)) {
                return;
            }
        }
    }
}

void TSimServer::Run() {
    TRequestParser parser;
    std::uint8_t buffer[512];
    while (!FStopping) {
        pollfd fds[2] = {{FFd, POLLIN, 0}, {FWake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (FStopping) return;
        if ((fds[0].revents & POLLIN) == 0) {
            // Nobody holds the other end yet (or any more): wait for one.
            if ((fds[0].revents & (POLLHUP | POLLERR)) != 0 && !Pause(20)) return;
            continue;
        }
        const ssize_t got = ::read(FFd, buffer, sizeof buffer);
        if (got <= 0) {
            if (!Pause(20)) return;
            continue;
        }
        if (FTrace != nullptr) FTrace->Log(TWireTrace::TDirection::Received, buffer, static_cast<std::size_t>(got));
        for (const auto& request : parser.Feed(buffer, static_cast<std::size_t>(got))) {
            ++FRequests;
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
            std::optional<TReply> reply;
            {
                std::lock_guard lock(FGaugeMutex);
                reply = FGauge.Answer(request, elapsed);
            }
            if (reply) Send(*reply);
        }
    }
}

}  // namespace qmx::sim
