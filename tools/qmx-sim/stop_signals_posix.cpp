#include "stop_signals.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace qmx::sim {
namespace {

volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

sigset_t Stops() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    // A terminal closed under it: its link must go as on any stop.
    sigaddset(&stops, SIGHUP);
    return stops;
}

// Blocks the stops in this thread; the mask with them open, to wait with.
sigset_t Block() {
    const sigset_t stops = Stops();
    sigset_t open;
    ::pthread_sigmask(SIG_BLOCK, &stops, &open);
    sigdelset(&open, SIGINT);
    sigdelset(&open, SIGTERM);
    sigdelset(&open, SIGHUP);
    return open;
}

void Unblock() {
    const sigset_t stops = Stops();
    ::pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
}

}  // namespace

void WatchForStops() {
    struct sigaction stop {};
    stop.sa_handler = OnSignal;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = 0;  // no SA_RESTART
    ::sigaction(SIGINT, &stop, nullptr);
    ::sigaction(SIGTERM, &stop, nullptr);
    ::sigaction(SIGHUP, &stop, nullptr);
    // A trace FIFO whose reader has gone fails its write instead of ending
    // the simulator.
    std::signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return gStop != 0; }

TStopsHeldOff::TStopsHeldOff() {
    const sigset_t stops = Stops();
    sigset_t before;
    ::pthread_sigmask(SIG_BLOCK, &stops, &before);
    FHeld = sigismember(&before, SIGINT) == 0;
}

// A stop that came meanwhile is taken here.
TStopsHeldOff::~TStopsHeldOff() {
    if (FHeld) Unblock();
}

// The main thread takes the stops here (none is held off): one that comes
// while the write is blocked on an output nobody reads breaks it off.
bool SayUnlessStopped(const std::string& line) {
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size() && !gStop) {
        const ssize_t put = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put < 0 && errno == EAGAIN) {
            pollfd room{STDOUT_FILENO, POLLOUT, 0};  // an output left non-blocking
            ::poll(&room, 1, 100);
        } else if (put < 0 && errno != EINTR) {
            break;
        }
    }
    return done == text.size() && !gStop;
}

void AwaitStop() {
    const sigset_t open = Block();
    while (!gStop) ::sigsuspend(&open);
    Unblock();
}

}  // namespace qmx::sim
