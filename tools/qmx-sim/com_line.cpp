#include "com_line.h"

#include <algorithm>

#include "serial/gauge_port_line.h"

namespace qmx::sim {
namespace {

// An arrival signalled just before a wait began is not lost (the event
// stays set), but a bound on the wait keeps a lost one from hanging the
// line.
constexpr std::uint32_t kLongestQuietWait = 200;

}  // namespace

TComLine::TComLine(std::uint16_t portNumber, TCommApi& api) : TComPort(portNumber, api) {
    try {
        if (!FArrived.Create(TEvent::TReset::Auto) || !FInterruptEvent.Create(TEvent::TReset::Manual))
            throw EOpenPortFail(portNumber);
        SetGaugeLine(*this);
    } catch (...) {
        // The workers stop while this object still stands.
        Close();
        throw;
    }
    // The event thread has run since the port opened; this object stands
    // now, so it may hear of arrivals.
    StartArrivals();
}

// The workers stop before the events they signal go.
TComLine::~TComLine() { Close(); }

void TComLine::DataArrived(std::uint16_t count) {
    if (count > 0) FArrived.Set();
}

void TComLine::Interrupt() {
    FInterrupted = true;
    FInterruptEvent.Set();
    FArrived.Set();
}

bool TComLine::Rest(std::chrono::microseconds duration) {
    if (FInterrupted) return false;
    // Whole milliseconds, rounded up: a rest is never shorter than asked.
    const auto milliseconds = static_cast<std::uint32_t>((duration.count() + 999) / 1000);
    return !FInterruptEvent.Wait(milliseconds) && !FInterrupted;
}

std::size_t TComLine::Receive(std::uint8_t* buffer, std::size_t capacity, std::chrono::microseconds longest) {
    using TClock = std::chrono::steady_clock;
    const auto until = longest == kUntilBytes ? TClock::time_point::max() : TClock::now() + longest;
    while (!FInterrupted) {
        const std::size_t available = std::min<std::size_t>(UnreadInputCount(), capacity);
        if (available > 0) {
            for (std::size_t i = 0; i < available; ++i) buffer[i] = GetChar();
            return available;
        }
        std::uint32_t wait = kLongestQuietWait;
        if (until != TClock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - TClock::now()).count();
            if (left <= 0) return 0;
            wait = std::min<std::uint32_t>(wait, static_cast<std::uint32_t>(left));
        }
        FArrived.Wait(wait);
    }
    return 0;
}

std::size_t TComLine::Send(const std::uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count && !FInterrupted) {
        const auto step = static_cast<std::uint16_t>(std::min<std::size_t>(count - done, 256));
        try {
            done += static_cast<std::size_t>(PutBlock(data + done, step));
        } catch (const EOutputBufferTooSmall&) {
            // The writer has not caught up yet: what is queued drains at
            // the line's own pace.
            if (!Rest(std::chrono::milliseconds(5))) break;
        } catch (const ESerialIO&) {
            break;  // the line has gone
        }
    }
    return done;
}

}  // namespace qmx::sim
