#include "socket_line.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "poll_wait.h"

namespace qmx::sim {
namespace {

void Poke(const int (&pipe)[2]) {
    const char byte = 1;
    // A full pipe holds a wake-up already.
    [[maybe_unused]] const auto ignored = ::write(pipe[1], &byte, 1);
}

// How long a client may take nothing of an answer before it is let go.
constexpr auto kWriteDeadline = std::chrono::seconds(1);

void Drain(int fd) {
    char bytes[64];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

}  // namespace

TSocketLine::TSocketLine(const net::TNetAddress& address, bool refuseSettings, TWireTrace* trace)
    : FKind(address.Kind), FRefuseSettings(refuseSettings), FTrace(trace) {
    std::string problem;
    FListener = net::TListener::Listen(address.Host, address.Port, problem);
    if (!FListener.Valid()) throw std::runtime_error(problem);
    if (::pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
}

TSocketLine::~TSocketLine() {
    CloseClient();
    ::close(FWake[0]);
    ::close(FWake[1]);
}

std::string TSocketLine::Name() const {
    net::TNetAddress bound;
    bound.Kind = FKind;
    bound.Host = FListener.Host();
    if (bound.Host.size() > 2 && bound.Host.front() == '[') bound.Host = bound.Host.substr(1, bound.Host.size() - 2);
    bound.Port = FListener.Port();
    return bound.Text();
}

TLineSettings TSocketLine::Settings() {
    TLockGuard guard(FAnswererLock);
    return FAnswerer != nullptr ? FAnswerer->Settings() : TLineSettings{};
}

void TSocketLine::Note(const std::string& text) {
    if (FTrace != nullptr) FTrace->Note(text);
}

void TSocketLine::DropClient() {
    FDropRequested = true;
    Poke(FWake);
}

void TSocketLine::Interrupt() {
    FInterrupted = true;
    Poke(FWake);
}

void TSocketLine::CloseClient() {
    if (FClient < 0) return;
    ::close(FClient);
    FClient = -1;
    FPending.clear();
}

void TSocketLine::TakeClient() {
    const int client = FListener.Accept();
    if (client < 0) return;
    if (FClient >= 0) Note("a new client replaces the one before");
    CloseClient();
    FClient = client;
    ++FClients;
    // A request is a few bytes that must go at once (no Nagle).
    const int on = 1;
    ::setsockopt(FClient, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Note("client connected");
    if (FKind != net::TNetAddress::TKind::Rfc2217) return;
    {
        TLockGuard guard(FAnswererLock);
        FAnswerer = std::make_unique<TRfc2217Answerer>(FRefuseSettings);
    }
    SendWire(FAnswerer->Opening());
}

bool TSocketLine::AwaitRoom(std::chrono::steady_clock::time_point deadline) {
    pollfd fds[3] = {{FWake[0], POLLIN, 0}, {FListener.Fd(), POLLIN, 0}, {FClient, POLLOUT, 0}};
    PollFor(fds, 3, std::chrono::ceil<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now()));
    if (FInterrupted) return false;
    if ((fds[0].revents & POLLIN) != 0) Drain(FWake[0]);
    const char* letGo = FDropRequested.exchange(false)                         ? "client dropped"
                        : (fds[1].revents & POLLIN) != 0                       ? "a new client replaces one that reads nothing"
                        : std::chrono::steady_clock::now() >= deadline         ? "client dropped: it read nothing for a second"
                                                                               : nullptr;
    if (letGo == nullptr) return true;
    Note(letGo);
    CloseClient();
    return false;
}

// A client that stops reading holds no one else up: it is let go when it
// has taken nothing for a while, or when the next client comes.
bool TSocketLine::SendWire(const std::vector<std::uint8_t>& wire) {
    std::size_t done = 0;
    auto deadline = std::chrono::steady_clock::now() + kWriteDeadline;
    while (done < wire.size() && FClient >= 0) {
        // MSG_NOSIGNAL: a client gone is the end of it, not a SIGPIPE.
        const ssize_t put = ::send(FClient, wire.data() + done, wire.size() - done, MSG_NOSIGNAL);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
            deadline = std::chrono::steady_clock::now() + kWriteDeadline;
        } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
            CloseClient();
        } else if (!AwaitRoom(deadline)) {
            return !FInterrupted;
        }
    }
    return true;
}

std::size_t TSocketLine::Receive(std::uint8_t* buffer, std::size_t capacity, std::chrono::microseconds longest) {
    using TClock = std::chrono::steady_clock;
    const auto until = longest == kUntilBytes ? TClock::time_point::max() : TClock::now() + longest;
    while (!FInterrupted) {
        if (!FPending.empty()) {
            const std::size_t count = std::min(capacity, FPending.size());
            std::copy_n(FPending.begin(), count, buffer);
            FPending.erase(FPending.begin(), FPending.begin() + static_cast<std::ptrdiff_t>(count));
            return count;
        }
        const auto left = until == TClock::time_point::max()
                              ? kUntilBytes
                              : std::chrono::ceil<std::chrono::microseconds>(until - TClock::now());
        if (left.count() <= 0) return 0;
        pollfd fds[3] = {{FWake[0], POLLIN, 0}, {FListener.Fd(), POLLIN, 0}, {FClient, POLLIN, 0}};
        if (PollFor(fds, FClient >= 0 ? 3 : 2, left) <= 0) continue;
        if ((fds[0].revents & POLLIN) != 0) Drain(FWake[0]);
        if (FDropRequested.exchange(false)) {
            Note("client dropped");
            CloseClient();
            continue;
        }
        if ((fds[1].revents & POLLIN) != 0) TakeClient();
        if (FClient < 0 || (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        std::uint8_t chunk[512];
        const ssize_t got = ::recv(FClient, chunk, sizeof chunk, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
            Note("client left");
            CloseClient();
            continue;
        }
        if (got < 0) continue;
        if (FAnswerer == nullptr) {
            FPending.assign(chunk, chunk + got);
            continue;
        }
        std::vector<std::uint8_t> reply;
        std::vector<std::string> notes;
        FAnswerer->Decode(chunk, static_cast<std::size_t>(got), FPending, reply, notes);
        for (const auto& note : notes) Note(note);
        if (!reply.empty()) SendWire(reply);
    }
    return 0;
}

std::size_t TSocketLine::Send(const std::uint8_t* data, std::size_t count) {
    // Nobody connected: the answer goes out on a line nobody listens to.
    if (FClient < 0) return count;
    std::vector<std::uint8_t> wire;
    if (FAnswerer != nullptr)
        TRfc2217Answerer::Encode(data, count, wire);
    else
        wire.assign(data, data + count);
    return SendWire(wire) ? count : 0;
}

bool TSocketLine::Rest(std::chrono::microseconds duration) {
    if (FInterrupted) return false;
    pollfd wake{FWake[0], POLLIN, 0};
    // A wake-up for a dropped client ends the rest early; Receive looks at
    // it next.
    PollFor(&wake, 1, duration);
    return !FInterrupted;
}

}  // namespace qmx::sim
