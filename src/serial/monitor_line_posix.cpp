#include "serial/monitor_line.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qmx {
namespace {

// One descriptor, read only.
class TFdMonitorLine final : public TMonitorLine {
public:
    explicit TFdMonitorLine(int fd) : FFd(fd) {}
    ~TFdMonitorLine() override { ::close(FFd); }
    TFdMonitorLine(const TFdMonitorLine&) = delete;
    TFdMonitorLine& operator=(const TFdMonitorLine&) = delete;

    int Descriptor() const { return FFd; }
    long Read(std::uint8_t* buffer, std::size_t capacity, std::string& problem) override {
        const ssize_t got = ::read(FFd, buffer, capacity);
        if (got > 0) return got;
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        // A tty that hangs up, a socket whose peer closed: gone either way.
        problem = got == 0 ? "the other end has closed" : std::strerror(errno);
        return -1;
    }

private:
    const int FFd;
};

}  // namespace

std::unique_ptr<TMonitorLine> MonitorLineOn(int fd) { return std::make_unique<TFdMonitorLine>(fd); }

std::vector<bool> AwaitBytes(const TMonitorLines& lines, int milliseconds) {
    std::vector<pollfd> polled;
    // Every line here is a descriptor MonitorLineOn made.
    for (const auto& line : lines) polled.push_back({static_cast<const TFdMonitorLine&>(*line).Descriptor(), POLLIN, 0});
    ::poll(polled.data(), polled.size(), milliseconds);
    std::vector<bool> ready;
    for (const auto& one : polled) ready.push_back(one.revents != 0);
    return ready;
}

}  // namespace qmx
