#include "serial/gauge_tty.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "protocol/gauge_line.h"

namespace qmx {
namespace {

constexpr tcflag_t kFrameBits = CSIZE | PARENB | PARODD | CMSPAR;

// What the device kept of `asked`; a pty keeps its own frame bits.
bool TookSettings(int fd, const termios& asked) {
    termios actual{};
    if (::tcgetattr(fd, &actual) != 0) return false;
    const tcflag_t compared = IsPtySlave(fd) ? ~kFrameBits : ~tcflag_t{0};
    return (actual.c_cflag & compared) == (asked.c_cflag & compared) && actual.c_iflag == asked.c_iflag &&
           ::cfgetospeed(&actual) == ::cfgetospeed(&asked) && ::cfgetispeed(&actual) == ::cfgetispeed(&asked);
}

// The character size, parity and stop bits of `line`.
tcflag_t FrameFlags(const TSerialSettings& line) {
    constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tcflag_t bits = kSizes[std::clamp(line.DataBits, std::uint8_t{5}, std::uint8_t{8}) - 5];
    if (line.Parity != TParity::None) bits |= PARENB;
    if (line.Parity == TParity::Odd) bits |= PARODD;
    if (line.StopBits == 2) bits |= CSTOPB;
    return bits;
}

// `path` opened for `access` (close-on-exec, non-blocking, never the
// controlling tty), with its settings as they stand in `current`; -1 with
// the reason otherwise.
int OpenTty(const std::string& path, int access, termios& current, std::string& problem) {
    const int fd = ::open(path.c_str(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = std::strerror(errno);
        return -1;
    }
    if (::tcgetattr(fd, &current) != 0) {
        ::close(fd);
        problem = "not a serial line";
        return -1;
    }
    return fd;
}

}  // namespace

bool IsPtySlave(int fd) {
    char name[64] = {};
    return ::ttyname_r(fd, name, sizeof name) == 0 && std::strncmp(name, "/dev/pts/", 9) == 0;
}

termios GaugeLineSettings(const termios& current) {
    termios settings = current;
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~(kFrameBits | CSTOPB | CRTSCTS);
    settings.c_cflag |= FrameFlags(kGaugeLine) | CREAD | CLOCAL;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    static_assert(kGaugeLine.BaudRate == 9600, "the tty's speed is B9600");
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    return settings;
}

int OpenGaugeTty(const std::string& path, std::string& problem) {
    termios current{};
    const int fd = OpenTty(path, O_RDWR, current, problem);
    if (fd < 0) return -1;
    const auto fail = [&](const std::string& reason) {
        ::close(fd);
        problem = reason;
        return -1;
    };
    const termios settings = GaugeLineSettings(current);
    // A pty refuses the frame bits it keeps (EINVAL, now and then) and takes
    // the rest: what stands is what counts.
    if (::tcsetattr(fd, TCSANOW, &settings) != 0 && errno != EINVAL) return fail(std::strerror(errno));
    if (!TookSettings(fd, settings)) return fail("it does not take " + FrameText(kGaugeLine));
    // A pty has no modem lines, and says so.
    int rts = TIOCM_RTS;
    if (::ioctl(fd, kGaugeLine.RtsHigh ? TIOCMBIS : TIOCMBIC, &rts) != 0 && errno != ENOTTY && errno != EINVAL)
        return fail(std::string("cannot set RTS ") + (kGaugeLine.RtsHigh ? "high: " : "low: ") + std::strerror(errno));
    return fd;
}

int OpenListeningTty(const std::string& path, std::string& problem) {
    termios current{};
    const int fd = OpenTty(path, O_RDONLY, current, problem);
    if (fd < 0) return -1;
    termios settings = GaugeLineSettings(current);
    settings.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        problem = "cannot set " + FrameText(kGaugeLine) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace qmx
