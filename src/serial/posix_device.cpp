#include "serial/posix_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "serial/posix_errors.h"

namespace qmx {
namespace {

struct TSpeed {
    std::uint32_t Rate;
    speed_t Code;
};

constexpr TSpeed kSpeeds[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},
    {150, B150},       {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400},   {460800, B460800},   {921600, B921600},
};

const TSpeed* FindSpeed(std::uint32_t rate) {
    for (const auto& speed : kSpeeds)
        if (speed.Rate == rate) return &speed;
    return nullptr;
}

std::uint32_t RateOf(speed_t code) {
    for (const auto& speed : kSpeeds)
        if (speed.Code == code) return speed.Rate;
    return 0;
}

void WakePipe(const int (&pipe)[2]) {
    const char byte = 1;
    // A full pipe already holds a wake-up.
    [[maybe_unused]] const auto ignored = ::write(pipe[1], &byte, 1);
}

void Drain(int fd) {
    char bytes[64];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

bool MakePipe(int (&pipe)[2]) { return ::pipe2(pipe, O_NONBLOCK | O_CLOEXEC) == 0; }

void ClosePipe(int (&pipe)[2]) {
    for (int& fd : pipe)
        if (fd >= 0) ::close(fd), fd = -1;
}

// Modem-line requests on a device without modem lines (a pty answers
// ENOTTY or EINVAL) succeed: there is nothing to drive.
bool ModemRequest(int fd, unsigned long request, int bits, DWORD& error) {
    if (::ioctl(fd, request, &bits) == 0 || errno == ENOTTY || errno == EINVAL) return true;
    error = Win32ErrorFromErrno(errno);
    return false;
}

TDcb DcbFromTermios(const termios& settings) {
    TDcb dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = RateOf(cfgetospeed(&settings));
    switch (settings.c_cflag & CSIZE) {
        case CS5: dcb.ByteSize = 5; break;
        case CS6: dcb.ByteSize = 6; break;
        case CS7: dcb.ByteSize = 7; break;
        default: dcb.ByteSize = 8; break;
    }
    if ((settings.c_cflag & PARENB) == 0)
        dcb.Parity = NOPARITY;
    else if ((settings.c_cflag & CMSPAR) != 0)
        dcb.Parity = (settings.c_cflag & PARODD) != 0 ? MARKPARITY : SPACEPARITY;
    else
        dcb.Parity = (settings.c_cflag & PARODD) != 0 ? ODDPARITY : EVENPARITY;
    dcb.StopBits = (settings.c_cflag & CSTOPB) != 0 ? TWOSTOPBITS : ONESTOPBIT;
    DWORD flags = kDcbBinary | 0x0010 /* DTR_CONTROL_ENABLE */;
    if ((settings.c_iflag & INPCK) != 0) flags |= kDcbParity;
    if ((settings.c_cflag & CRTSCTS) != 0)
        flags |= kDcbOutxCtsFlow | kDcbRtsControlHandshake;
    else
        flags |= kDcbRtsControlEnable;
    if ((settings.c_iflag & IXON) != 0) flags |= kDcbOutX;
    if ((settings.c_iflag & IXOFF) != 0) flags |= kDcbInX;
    SetDcbFlags(dcb, flags);
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

}  // namespace

TPosixDevice* TPosixDevice::Open(const std::string& path, DWORD& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = Win32ErrorFromErrno(errno);
        return nullptr;
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        error = ERROR_NOT_SUPPORTED;  // not a serial device
        ::close(fd);
        return nullptr;
    }
    // One user at a time, as a Windows COM port opened without sharing.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = ERROR_ACCESS_DENIED;
        ::close(fd);
        return nullptr;
    }
    // Raw bytes, no line discipline, reads that never wait. The driver's
    // settings are reported as they stand then, as a Windows driver's are:
    // binary, no software flow control.
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &settings);
    const TDcb dcb = DcbFromTermios(settings);

    auto* device = new TPosixDevice(fd, dcb);
    char name[64] = {};
    device->FIsPty = ::ttyname_r(fd, name, sizeof name) == 0 && std::strncmp(name, "/dev/pts/", 9) == 0;
    if (!MakePipe(device->FWaitWake) || !MakePipe(device->FWriteWake)) {
        error = Win32ErrorFromErrno(errno);
        delete device;
        return nullptr;
    }
    return device;
}

TPosixDevice::TPosixDevice(int fd, const TDcb& dcb) : TCommDevice(dcb), FFd(fd) {}

TPosixDevice::~TPosixDevice() {
    ClosePipe(FWaitWake);
    ClosePipe(FWriteWake);
    ::close(FFd);
}

bool TPosixDevice::ApplyState(const TDcb& dcb, DWORD& error) {
    termios settings{};
    if (::tcgetattr(FFd, &settings) != 0) {
        error = Win32ErrorFromErrno(errno);
        return false;
    }
    const TSpeed* speed = FindSpeed(dcb.BaudRate);
    if (dcb.BaudRate == 0) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    // A rate without a Bnnn constant is set through termios2 afterwards;
    // until then the line keeps a standard rate, which tcsetattr accepts.
    const speed_t code = speed != nullptr ? speed->Code : B38400;
    ::cfsetispeed(&settings, code);
    ::cfsetospeed(&settings, code);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    switch (dcb.ByteSize) {
        case 5: settings.c_cflag |= CS5; break;
        case 6: settings.c_cflag |= CS6; break;
        case 7: settings.c_cflag |= CS7; break;
        case 8: settings.c_cflag |= CS8; break;
        default: error = ERROR_INVALID_PARAMETER; return false;
    }
    settings.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
    switch (dcb.Parity) {
        case NOPARITY: break;
        case ODDPARITY: settings.c_cflag |= PARENB | PARODD; break;
        case EVENPARITY: settings.c_cflag |= PARENB; break;
        case MARKPARITY: settings.c_cflag |= PARENB | PARODD | CMSPAR; break;
        case SPACEPARITY: settings.c_cflag |= PARENB | CMSPAR; break;
        default: error = ERROR_INVALID_PARAMETER; return false;
    }
    switch (dcb.StopBits) {
        case ONESTOPBIT: settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB); break;
        case TWOSTOPBITS: settings.c_cflag |= CSTOPB; break;
        default: error = ERROR_INVALID_PARAMETER; return false;  // 1.5 has no termios form
    }
    const DWORD flags = DcbFlags(dcb);
    const auto setIf = [](tcflag_t& field, tcflag_t bits, bool on) {
        field = on ? (field | bits) : (field & ~bits);
    };
    setIf(settings.c_cflag, CRTSCTS, (flags & kDcbOutxCtsFlow) != 0);
    setIf(settings.c_iflag, IXON, (flags & kDcbOutX) != 0);
    setIf(settings.c_iflag, IXOFF, (flags & kDcbInX) != 0);
    setIf(settings.c_iflag, INPCK, (flags & kDcbParity) != 0);
    if ((::tcsetattr(FFd, TCSANOW, &settings) != 0 && !PtyTookTheRest(settings)) ||
        (speed == nullptr && !SetCustomBaudRate(FFd, dcb.BaudRate))) {
        error = speed == nullptr ? ERROR_INVALID_PARAMETER : Win32ErrorFromErrno(errno);
        return false;
    }
    // RTS follows the DCB's RTS control, as a Windows driver drives it.
    const DWORD rts = flags & kDcbRtsControlMask;
    if (rts == 0 && !ModemRequest(FFd, TIOCMBIC, TIOCM_RTS, error)) return false;
    return rts != kDcbRtsControlEnable || ModemRequest(FFd, TIOCMBIS, TIOCM_RTS, error);
}

bool TPosixDevice::PtyTookTheRest(const termios& asked) const {
    // A pty keeps 8 data bits without parity whatever it is told, and the C
    // library then reports the whole change as refused (sometimes): the
    // rest stands, and that is all a pty can take.
    termios actual{};
    if (!FIsPty || errno != EINVAL || ::tcgetattr(FFd, &actual) != 0) return false;
    constexpr tcflag_t kFrame = CSIZE | PARENB | PARODD | CMSPAR;
    return (actual.c_cflag & ~kFrame) == (asked.c_cflag & ~kFrame) && actual.c_iflag == asked.c_iflag &&
           ::cfgetospeed(&actual) == ::cfgetospeed(&asked);
}

void TPosixDevice::Wake() { WakePipe(FWaitWake); }

void TPosixDevice::WakeWriter() { WakePipe(FWriteWake); }

void TPosixDevice::FillLocked() {
    TByteRing& queue = Queue();
    while (!IsGoneLocked() && queue.Room() > 0) {
        const ssize_t got = ::read(FFd, queue.AtHead(), queue.FreeSpan());
        if (got > 0) {
            queue.Stored(static_cast<std::uint16_t>(got));
            NoteArrivalLocked();
            continue;
        }
        // A tty in raw mode without VMIN reads 0 when it holds nothing.
        if (got == 0 || errno == EAGAIN || errno == EINTR) break;
        Lose(Win32ErrorFromErrno(errno));
    }
}

void TPosixDevice::Block(bool room) {
    pollfd fds[2] = {{FFd, static_cast<short>(room ? POLLIN : 0), 0}, {FWaitWake[0], POLLIN, 0}};
    ::poll(fds, 2, -1);
    if ((fds[1].revents & POLLIN) != 0) Drain(FWaitWake[0]);
    // A hang-up is reported whatever was asked. Bytes that came before it
    // are still read; once none are left, the device has gone.
    if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) return;
    TLockGuard guard(Lock());
    const std::uint16_t before = Queue().Count();
    FillLocked();
    if (Queue().Count() == before) Lose(ERROR_DEVICE_REMOVED);
}

bool TPosixDevice::Send(const std::uint8_t* data, DWORD count, std::uint64_t limitMs,
                        const std::function<bool()>& cancelled, DWORD& written, DWORD& error) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (written < count) {
        const ssize_t put = ::write(FFd, data + written, count - written);
        if (put > 0) {
            written += static_cast<DWORD>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR) {
            error = Win32ErrorFromErrno(errno);
            return false;
        }
        int waitMs = -1;
        if (limitMs != 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return true;  // timed out: what went out counts
            waitMs = static_cast<int>(std::min<long long>(left.count(), 1 << 30));
        }
        pollfd fds[2] = {{FFd, POLLOUT, 0}, {FWriteWake[0], POLLIN, 0}};
        ::poll(fds, 2, waitMs);
        if ((fds[1].revents & POLLIN) != 0) Drain(FWriteWake[0]);
        if (cancelled()) {
            error = ERROR_OPERATION_ABORTED;
            return false;
        }
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            error = ERROR_DEVICE_REMOVED;
            return false;
        }
    }
    return true;
}

DWORD TPosixDevice::PendingOutput() {
    int pending = 0;
    return ::ioctl(FFd, TIOCOUTQ, &pending) == 0 ? static_cast<DWORD>(pending) : 0;
}

void TPosixDevice::DiscardLocked(DWORD flags) {
    if ((flags & PURGE_RXCLEAR) != 0) ::tcflush(FFd, TCIFLUSH);
    if ((flags & PURGE_TXCLEAR) != 0) ::tcflush(FFd, TCOFLUSH);
}

bool TPosixDevice::EscapeLine(DWORD function, DWORD& error) {
    switch (function) {        case SETRTS: return ModemRequest(FFd, TIOCMBIS, TIOCM_RTS, error);
        case CLRRTS: return ModemRequest(FFd, TIOCMBIC, TIOCM_RTS, error);
        case SETDTR: return ModemRequest(FFd, TIOCMBIS, TIOCM_DTR, error);
        case CLRDTR: return ModemRequest(FFd, TIOCMBIC, TIOCM_DTR, error);
        case SETBREAK:
        case CLRBREAK:
            if (::ioctl(FFd, function == SETBREAK ? TIOCSBRK : TIOCCBRK) == 0 || errno == ENOTTY ||
                errno == EINVAL)
                return true;
            error = Win32ErrorFromErrno(errno);
            return false;
        case SETXOFF: ::tcflow(FFd, TCOOFF); return true;
        case SETXON: ::tcflow(FFd, TCOON); return true;
        default: error = ERROR_INVALID_PARAMETER; return false;
    }
}

}  // namespace qmx
