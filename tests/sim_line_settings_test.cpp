// The simulator on a device it is given: the gauge's line settings, 7E1 at
// 9600 baud, whatever the device had before, as the driver sets its end.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "gauge_tty.h"
#include "support/frames.h"
#include "support/pty_pair.h"
#include "support/reader_process.h"

namespace qmx::sim {
namespace {

using namespace std::chrono_literals;

// What the gauge's line needs, flag by flag: a failure names the flag.
void ExpectGaugeLine(const termios& settings, bool frameBitsKept, const std::string& context) {
    if (frameBitsKept) {
        EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS7)) << context;
        EXPECT_NE(settings.c_cflag & PARENB, 0u) << context;
    }
    EXPECT_EQ(settings.c_cflag & PARODD, 0u) << context << ": even parity";
    EXPECT_EQ(settings.c_cflag & CMSPAR, 0u) << context;
    EXPECT_EQ(settings.c_cflag & CSTOPB, 0u) << context << ": one stop bit";
    EXPECT_EQ(settings.c_cflag & CRTSCTS, 0u) << context << ": no flow control";
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF), 0u) << context;
    EXPECT_NE(settings.c_cflag & CREAD, 0u) << context;
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u) << context << ": raw";
    EXPECT_EQ(settings.c_oflag & OPOST, 0u) << context;
    EXPECT_EQ(::cfgetispeed(&settings), static_cast<speed_t>(B9600)) << context;
    EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B9600)) << context;
}

termios Cooked(speed_t speed, tcflag_t frame) {
    termios settings{};
    settings.c_iflag = ICRNL | IXON | IXOFF;
    settings.c_oflag = OPOST | ONLCR;
    settings.c_lflag = ICANON | ECHO | ISIG;
    settings.c_cflag = frame | CREAD | HUPCL;
    ::cfsetspeed(&settings, speed);
    return settings;
}

TEST(SimLineSettings, TheGaugesLineWhateverTheDeviceHadBefore) {
    const std::pair<const char*, termios> cases[] = {
        {"nothing set", termios{}},
        {"8N1 cooked at 38400", Cooked(B38400, CS8)},
        {"8O2 with RTS/CTS at 115200", Cooked(B115200, CS8 | PARENB | PARODD | CSTOPB | CRTSCTS)},
        {"7 bits mark parity at 1200", Cooked(B1200, CS7 | PARENB | PARODD | CMSPAR)},
    };
    for (const auto& [name, before] : cases) ExpectGaugeLine(GaugeLineSettings(before), true, name);
}

// Linux ptys keep 8 data bits without parity whatever they are told; where
// one keeps what it is told, the frame bits are checked on the line too.
bool PtyKeepsFrameBits() {
    std::string path;
    const int master = test::OpenRawPty(path);
    const int slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    ::tcgetattr(slave, &settings);
    settings.c_cflag = (settings.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7 | PARENB;
    ::tcsetattr(slave, TCSANOW, &settings);
    termios after{};
    ::tcgetattr(master, &after);
    ::close(slave);
    ::close(master);
    return (after.c_cflag & CSIZE) == CS7;
}

TEST(SimLineSettings, ADeviceIsSetToTheGaugesLineAndServed) {
    std::string slave;
    const int master = test::OpenRawPty(slave);
    // What another program may have left: cooked, 38400, odd parity, two
    // stop bits, hardware flow control.
    const termios left = Cooked(B38400, CS8 | PARODD | CSTOPB | CRTSCTS);
    ASSERT_EQ(::tcsetattr(master, TCSANOW, &left), 0);

    test::TProgramProcess sim(QMX_SIM_PATH, {"--device", slave, "--no-pace"});
    ASSERT_EQ(sim.FirstLine(20s), slave) << sim.Errors();
    termios settings{};
    ASSERT_EQ(::tcgetattr(master, &settings), 0);
    ExpectGaugeLine(settings, PtyKeepsFrameBits(), "the pty after qmx-sim --device");

    // Raw both ways now: the request goes through untouched, the answer too.
    const auto request = test::Frame("L01");
    ASSERT_EQ(::write(master, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    std::string answer;
    for (const auto until = std::chrono::steady_clock::now() + 10s;
         answer.size() < 43 && std::chrono::steady_clock::now() < until;) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) continue;
        char chunk[64];
        const ssize_t got = ::read(master, chunk, sizeof chunk);
        if (got > 0) answer.append(chunk, static_cast<std::size_t>(got));
    }
    EXPECT_EQ(answer.substr(0, 4), "\x02L01") << answer;
    EXPECT_EQ(answer.size(), 43u);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(10s), 0);
    ::close(master);
}

TEST(SimLineSettings, WhatIsNoSerialLineIsRefused) {
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/null", "qmx-sim: cannot open /dev/null: not a serial line\n"},
        {"/nonexistent/tty", "qmx-sim: cannot open /nonexistent/tty: No such file or directory\n"},
    };
    for (const auto& [device, said] : cases) {
        test::TProgramProcess sim(QMX_SIM_PATH, {"--device", device});
        EXPECT_EQ(sim.Wait(10s), 2) << device;
        EXPECT_EQ(sim.Errors(), said);
        EXPECT_EQ(sim.Output(), "") << "nothing to give the reader";
    }
}

}  // namespace
}  // namespace qmx::sim
