#include "monitor_line.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "netline/net_address.h"
#include "protocol/gauge_line.h"
#include "serial/gauge_tty.h"

namespace qmx::tools {
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

// The gauge's settings, raw: nothing the kernel would answer on the line by
// itself (no echo, no flow control), and no hang-up on close, which would
// drop the modem lines.
//
// The modem lines are left as they are: no RTS or DTR set or cleared, no
// break, no flush. What cannot be helped: Linux raises DTR and RTS on a
// tty's first open (a port already open elsewhere keeps its lines), and no
// open flag stops it. A tap takes only the line's receive wire, so those
// lines reach nothing; a port in RS-485 mode has its RTS kept by the kernel
// as that mode sets it. The bytes the kernel held before the open are read
// as any others: the splitter skips what it cannot pair.
bool SetUp(int fd, std::string& problem) {
    termios current{};
    if (::tcgetattr(fd, &current) != 0) {
        problem = "not a serial line";
        return false;
    }
    termios settings = GaugeLineSettings(current);
    settings.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        problem = "cannot set " + FrameText(kGaugeLine) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

int OpenDevice(const std::string& path, std::string& problem) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = std::strerror(errno);
        return -1;
    }
    if (!SetUp(fd, problem)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int Connect(const net::TNetAddress& address, std::string& problem) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int error = ::getaddrinfo(address.Host.c_str(), std::to_string(address.Port).c_str(), &hints, &found);
        error != 0) {
        problem = ::gai_strerror(error);
        return -1;
    }
    int fd = -1;
    for (const addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
        fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd >= 0 && ::connect(fd, at->ai_addr, at->ai_addrlen) != 0) {
            problem = std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    // Nothing is ever sent; the write side stays open all the same, as a
    // device server may take a half-close for the end of the connection.
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

}  // namespace

std::unique_ptr<TMonitorLine> TMonitorLine::Open(const std::string& name, std::string& problem) {
    int fd = -1;
    if (net::IsNetworkName(name)) {
        const auto address = net::ParseNetAddress(name, problem);
        if (!address) return nullptr;
        if (address->Kind != net::TNetAddress::TKind::Socket) {
            problem = "the monitor listens on socket://HOST:PORT (RFC 2217 would have it send)";
            return nullptr;
        }
        fd = Connect(*address, problem);
    } else {
        fd = OpenDevice(name, problem);
    }
    return fd < 0 ? nullptr : std::make_unique<TFdMonitorLine>(fd);
}

std::vector<bool> AwaitBytes(const TMonitorLines& lines, int milliseconds) {
    std::vector<pollfd> polled;
    // Every line here is a descriptor Open made.
    for (const auto& line : lines) polled.push_back({static_cast<const TFdMonitorLine&>(*line).Descriptor(), POLLIN, 0});
    ::poll(polled.data(), polled.size(), milliseconds);
    std::vector<bool> ready;
    for (const auto& one : polled) ready.push_back(one.revents != 0);
    return ready;
}

}  // namespace qmx::tools
