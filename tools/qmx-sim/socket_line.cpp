#include "socket_line.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "netline/socket_errors.h"
#include "poll_wait.h"

namespace qmx::sim {
namespace {

void Poke(const int (&pipe)[2]) {
    const char byte = 1;
    // A full pipe holds a wake-up already.
    [[maybe_unused]] const auto ignored = ::write(pipe[1], &byte, 1);
}

// What the simulator calls itself to an RFC 2217 client that asks.
constexpr char kSignature[] = "qmx-sim, a simulated Quelmarox gauge";

// How long a client may leave an answer untaken before it is let go.
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

net::TLineSettings TSocketLine::Settings() {
    TLockGuard guard(FAnswererLock);
    return FAnswerer != nullptr ? FAnswerer->Settings() : net::TLineSettings{};
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
    if (!FClient.Valid()) return;
    FClient = net::TSocket();
    FPending.clear();
}

void TSocketLine::TakeClient() {
    const int client = FListener.Accept();
    if (client < 0) return;
    if (FClient.Valid()) Note("a new client replaces the one before");
    CloseClient();
    FClient = net::TSocket::Adopt(client);
    if (!FClient.Valid()) return;
    ++FClients;
    Note("client connected");
    if (FKind != net::TNetAddress::TKind::Rfc2217) return;
    {
        TLockGuard guard(FAnswererLock);
        FAnswerer = std::make_unique<net::TRfc2217Answerer>(kSignature, FRefuseSettings);
    }
    SendWire(FAnswerer->Opening());
}

bool TSocketLine::LetGo() const {
    if (FInterrupted || FDropRequested) return true;
    pollfd listener{FListener.Fd(), POLLIN, 0};
    return ::poll(&listener, 1, 0) > 0 && (listener.revents & POLLIN) != 0;
}

// A client that stops reading holds no one else up: it is let go when it
// leaves an answer untaken for a while, or when the next client comes.
bool TSocketLine::SendWire(const std::vector<std::uint8_t>& wire) {
    if (!FClient.Valid()) return true;
    int error = 0;
    if (FClient.SendAll(wire.data(), wire.size(), kWriteDeadline, error, [this] { return LetGo(); })) return true;
    if (FInterrupted) return false;
    // A client that went (closed, reset) is said by Receive as it goes.
    const char* letGo = FDropRequested.exchange(false) ? "client dropped"
                        : error == net::kCancelled    ? "a new client replaces one that reads nothing"
                        : error == net::kTimedOut     ? "client dropped: it read nothing for a second"
                                                      : nullptr;
    if (letGo != nullptr) Note(letGo);
    CloseClient();
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
        pollfd fds[3] = {{FWake[0], POLLIN, 0}, {FListener.Fd(), POLLIN, 0}, {FClient.Fd(), POLLIN, 0}};
        if (PollFor(fds, FClient.Valid() ? 3 : 2, left) <= 0) continue;
        if ((fds[0].revents & POLLIN) != 0) Drain(FWake[0]);
        if (FDropRequested.exchange(false)) {
            Note("client dropped");
            CloseClient();
            continue;
        }
        if ((fds[1].revents & POLLIN) != 0) TakeClient();
        if (!FClient.Valid() || (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        std::uint8_t chunk[512];
        int error = 0;
        const long got = FClient.Receive(chunk, sizeof chunk, error);
        if (got < 0) {
            Note("client left");
            CloseClient();
            continue;
        }
        if (got == 0) continue;
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
    if (!FClient.Valid()) return count;
    std::vector<std::uint8_t> wire;
    if (FAnswerer != nullptr)
        net::TRfc2217Answerer::Encode(data, count, wire);
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
