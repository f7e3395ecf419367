#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "pty_end.h"
#include "tap.h"

namespace qmx::sim {
namespace {

class TPtyTap final : public TTap {
public:
    explicit TPtyTap(const std::vector<std::string>& links) {
        for (const auto& link : links) {
            FEnds.push_back(std::make_unique<TPtyEnd>(link));
            const int master = FEnds.back()->Master();
            ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
            std::fprintf(stderr, "qmx-sim: tap at %s\n", FEnds.back()->Name().c_str());
        }
    }

    // The host's bytes to the first tap, the gauge's to the last. A tap
    // nobody reads fills and drops the rest: the line is never held up.
    void Copy(bool fromHost, const std::uint8_t* data, std::size_t count) {
        std::lock_guard<std::mutex> lock(FMutex);
        Drain();
        const int master = (fromHost ? FEnds.front() : FEnds.back())->Master();
        if (count != 0 && ::write(master, data, count) < 0) {
            // Full, or nobody there: the copy is lost, the line goes on.
        }
    }

    long long BytesWritten() override {
        std::lock_guard<std::mutex> lock(FMutex);
        Drain();
        return FWritten;
    }

private:
    void Drain() {
        std::uint8_t buffer[256];
        for (const auto& end : FEnds)
            for (ssize_t got; (got = ::read(end->Master(), buffer, sizeof buffer)) > 0;) FWritten += got;
    }

    std::mutex FMutex;
    std::vector<std::unique_ptr<TPtyEnd>> FEnds;
    long long FWritten = 0;
};

// The served line, with what passes on it copied to the tap as it passes.
// A thread of its own reads the line, so that a request is copied when it
// comes, not when the simulator, busy with an answer or its delay, gets
// round to it: the tap shows the line as a listener on it would.
class TTappedLine final : public TSimLine {
public:
    TTappedLine(std::unique_ptr<TSimLine> line, TPtyTap& tap)
        : FLine(std::move(line)), FTap(tap), FReader([this] { ReadLine(); }) {}
    ~TTappedLine() override {
        Interrupt();
        FReader.join();
    }
    TTappedLine(const TTappedLine&) = delete;
    TTappedLine& operator=(const TTappedLine&) = delete;

    std::size_t Receive(std::uint8_t* buffer, std::size_t capacity, std::chrono::microseconds longest) override {
        std::unique_lock<std::mutex> lock(FMutex);
        const auto ready = [this] { return !FReceived.empty() || FInterrupted; };
        if (longest == kUntilBytes)
            FChanged.wait(lock, ready);
        else
            FChanged.wait_for(lock, longest, ready);
        if (FInterrupted || FReceived.empty()) return 0;
        const std::size_t count = std::min(capacity, FReceived.size());
        std::copy_n(FReceived.begin(), count, buffer);
        FReceived.erase(FReceived.begin(), FReceived.begin() + static_cast<std::ptrdiff_t>(count));
        return count;
    }
    std::size_t Send(const std::uint8_t* data, std::size_t count) override {
        const std::size_t sent = FLine->Send(data, count);
        FTap.Copy(false, data, sent);
        return sent;
    }
    bool Rest(std::chrono::microseconds duration) override {
        std::unique_lock<std::mutex> lock(FMutex);
        return !FChanged.wait_for(lock, duration, [this] { return FInterrupted; });
    }
    int Connection() const override { return FLine->Connection(); }
    void Interrupt() override {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FInterrupted = true;
        }
        FChanged.notify_all();
        FLine->Interrupt();
    }

private:
    void ReadLine() {
        std::uint8_t buffer[512];
        for (;;) {
            const std::size_t got = FLine->Receive(buffer, sizeof buffer, kUntilBytes);
            std::lock_guard<std::mutex> lock(FMutex);
            if (FInterrupted) return;
            if (got == 0) continue;
            FTap.Copy(true, buffer, got);
            FReceived.insert(FReceived.end(), buffer, buffer + got);
            FChanged.notify_all();
        }
    }

    const std::unique_ptr<TSimLine> FLine;
    TPtyTap& FTap;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<std::uint8_t> FReceived;
    bool FInterrupted = false;
    std::thread FReader;  // last: it starts once the rest is there
};

}  // namespace

std::optional<std::string> AddTap(const std::string& paths, TServedLine& served, std::unique_ptr<TTap>& tap) {
    if (paths.empty()) return std::nullopt;
    std::vector<std::string> links{paths.substr(0, paths.find(','))};
    if (paths.find(',') != std::string::npos) links.push_back(paths.substr(paths.find(',') + 1));
    try {
        auto made = std::make_unique<TPtyTap>(links);
        served.Line = std::make_unique<TTappedLine>(std::move(served.Line), *made);
        tap = std::move(made);
    } catch (const std::runtime_error& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

}  // namespace qmx::sim
