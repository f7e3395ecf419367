#pragma once

// The far end of a pty line for tests that need to shape what the line
// does: it notes when each request frame (six bytes from an STX) arrives and
// lets the test answer it, late, never or with noise, from its own thread.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qmx::test {

class TFarEnd {
public:
    using TClock = std::chrono::steady_clock;
    // Called on the far end's thread with the number of the request (0
    // first) and the frame.
    using TOnRequest = std::function<void(TFarEnd& line, int request, const std::vector<std::uint8_t>& frame)>;

    TFarEnd(int master, TOnRequest onRequest) : FMaster(master), FOnRequest(std::move(onRequest)) {
        // Never blocked: a far end still writing when the test ends must stop.
        ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
        FThread = std::thread([this] { Run(); });
    }
    ~TFarEnd() {
        FStop = true;
        FThread.join();
    }
    TFarEnd(const TFarEnd&) = delete;
    TFarEnd& operator=(const TFarEnd&) = delete;

    // Writes all of `bytes` unless the far end is stopping.
    void Put(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size() && !FStop) {
            const ssize_t put = ::write(FMaster, bytes.data() + done, bytes.size() - done);
            if (put > 0) done += static_cast<std::size_t>(put);
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // Sleeps unless the far end is stopping; false then.
    bool Pause(std::chrono::milliseconds span) {
        const auto end = TClock::now() + span;
        while (TClock::now() < end)
            if (FStop) return false;
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return !FStop;
    }
    bool Stopping() const { return FStop; }

    std::vector<TClock::time_point> RequestTimes() {
        std::lock_guard lock(FMutex);
        return FTimes;
    }
    int Requests() {
        std::lock_guard lock(FMutex);
        return static_cast<int>(FTimes.size());
    }

private:
    void Run() {
        std::vector<std::uint8_t> frame;
        std::uint8_t byte = 0;
        while (!FStop) {
            if (::read(FMaster, &byte, 1) != 1) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            if (byte == 0x02) frame.clear();
            frame.push_back(byte);
            if (frame.size() != 6 || frame[0] != 0x02) continue;
            int number = 0;
            {
                std::lock_guard lock(FMutex);
                number = static_cast<int>(FTimes.size());
                FTimes.push_back(TClock::now());
            }
            FOnRequest(*this, number, frame);
            frame.clear();
        }
    }

    const int FMaster;
    TOnRequest FOnRequest;
    std::atomic<bool> FStop{false};
    std::mutex FMutex;
    std::vector<TClock::time_point> FTimes;
    std::thread FThread;
};

}  // namespace qmx::test
