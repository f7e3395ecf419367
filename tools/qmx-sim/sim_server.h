#pragma once

// Plays a gauge (or a trace played back) on a serial line: reads requests as
// they come and writes the answers, with the timing each fault asks for
// and, when paced, at the line's own character rate. Runs on a thread of
// its own until stopped.

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>

#include "gauge.h"
#include "platform/event.h"
#include "platform/recursive_lock.h"
#include "platform/thread.h"
#include "protocol/gauge_line.h"
#include "serial/wire_trace.h"
#include "sim_line.h"

namespace qmx::sim {

// One character on the gauge's line, rounded up to the microsecond.
inline constexpr std::chrono::microseconds kLineCharacterTime{
    (1000000 * CharacterBits(kGaugeLine) + kGaugeLine.BaudRate - 1) / kGaugeLine.BaudRate};

class TSimServer {
public:
    // Serves `answerer` on `line`. `trace` may be null.
    TSimServer(TAnswerer& answerer, std::unique_ptr<TSimLine> line, TWireTrace* trace = nullptr);
#ifndef _WIN32
    // Serves `answerer` on `fd` (a pty's master, a tty), which stays the
    // caller's.
    TSimServer(TAnswerer& answerer, int fd, TWireTrace* trace = nullptr);
#endif
    ~TSimServer();
    TSimServer(const TSimServer&) = delete;
    TSimServer& operator=(const TSimServer&) = delete;

    void Stop();
    // Requests received so far, well-formed or not answered alike.
    int Requests() const { return FRequests; }
    // Paces what goes both ways at `perCharacter` a character, as a real
    // line does: an answer starts no sooner than its request would have
    // arrived, and its bytes come no faster than the line carries them.
    // Zero (the default) sends at once.
    void SetPacing(std::chrono::microseconds perCharacter) { FPacing = perCharacter.count(); }
    // Changes to the gauge while serving go through here (a server of a
    // gauge only).
    template <class F>
    void WithGauge(F change) {
        TLockGuard lock(FGaugeLock);
        change(dynamic_cast<TGauge&>(FAnswerer));
    }

private:
    using TClock = std::chrono::steady_clock;

    static void ThreadMain(void* server);
    void Run();
    // Answers the requests the bytes complete; `began` is when the first
    // of them came.
    void Take(TRequestParser& parser, const std::uint8_t* bytes, std::size_t count, TClock::time_point& began);
    void Send(const TReply& reply, TClock::time_point earliest);
    // Puts the parts on the line's schedule, each at its time after
    // `requested`; the line is read meanwhile.
    void Schedule(const std::vector<TReplyPart>& parts, TClock::time_point requested);
    // Sends the scheduled bytes whose time has come; how long until the
    // next are due (kUntilBytes when none are).
    std::chrono::microseconds PlayDue();
    void SendPaced(const std::vector<std::uint8_t>& bytes, std::chrono::microseconds perCharacter);
    // Sends and traces; false when not everything went.
    bool Put(const std::uint8_t* data, std::size_t count);
    bool RestUntil(TClock::time_point when);

    TAnswerer& FAnswerer;
    TRecursiveLock FGaugeLock;
    const std::unique_ptr<TSimLine> FLine;
    TWireTrace* FTrace;
    std::atomic<bool> FStopping{false};
    std::atomic<int> FRequests{0};
    std::atomic<long long> FPacing{0};
    const TClock::time_point FStart = TClock::now();
    // Replayed bytes still to go, by when; those of one time in the order
    // scheduled. Only the server's thread touches it.
    std::multimap<TClock::time_point, std::vector<std::uint8_t>> FDue;
    TThread FThread;
    // Set when Run has returned: a Windows thread is not joined.
    TEvent FFinished;
};

}  // namespace qmx::sim
