// The serial port on a real tty (a pty pair), through the POSIX backend.

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <termios.h>
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "serial/com_port.h"
#include "support/process_counts.h"
#include "support/pty_pair.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using test::TPtyPair;

constexpr int kPort = 9;

// Takes every arrived byte with GetChar, as the framed port does.
class TCollectingPort final : public TComPort {
public:
    explicit TCollectingPort(std::uint16_t number) : TComPort(number) { StartArrivals(); }
    ~TCollectingPort() override { Close(); }

    void DataArrived(std::uint16_t count) override {
        std::lock_guard lock(FMutex);
        for (std::uint16_t i = 0; i < count; ++i) FBytes.push_back(GetChar());
        FChanged.notify_all();
    }

    std::vector<std::uint8_t> WaitFor(std::size_t count) {
        std::unique_lock lock(FMutex);
        FChanged.wait_for(lock, 20s, [&] { return FBytes.size() >= count; });
        return FBytes;
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<std::uint8_t> FBytes;
};

std::vector<std::uint8_t> Pattern(std::size_t count, unsigned seed) {
    std::vector<std::uint8_t> bytes(count);
    unsigned state = seed;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put > 0) done += static_cast<std::size_t>(put);
        else std::this_thread::sleep_for(1ms);
    }
}

std::vector<std::uint8_t> ReadExactly(int fd, std::size_t count) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

void PutAll(TComPort& port, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto count = static_cast<std::uint16_t>(std::min<std::size_t>(1000, bytes.size() - done));
        try {
            port.PutBlock(bytes.data() + done, count);
            done += count;
        } catch (const EOutputBufferTooSmall&) {
            std::this_thread::sleep_for(1ms);  // the writer has not caught up yet
        }
    }
}


TEST(ComPortPty, BytesTravelBothWays) {
    TPtyPair pty(kPort);
    TCollectingPort port(kPort);
    const std::vector<std::uint8_t> in = {0x02, 'L', '0', '1', 0x03, 0x4C, 0x00, 0xFF};
    WriteAll(pty.Master(), in);
    EXPECT_EQ(port.WaitFor(in.size()), in);
    const std::vector<std::uint8_t> out = {0x02, 'G', '3', '3', 0x03, 0x75};
    port.PutBlock(out.data(), static_cast<std::uint16_t>(out.size()));
    EXPECT_EQ(ReadExactly(pty.Master(), out.size()), out);
}

TEST(ComPortPty, AMegabyteEachWayArrivesWholeAndInOrder) {
    TPtyPair pty(kPort);
    TCollectingPort port(kPort);
    const auto in = Pattern(1 << 20, 1);
    std::thread writer([&] { WriteAll(pty.Master(), in); });
    const auto received = port.WaitFor(in.size());
    writer.join();
    EXPECT_EQ(received.size(), in.size());
    EXPECT_TRUE(received == in);

    const auto out = Pattern(1 << 20, 2);
    std::vector<std::uint8_t> sent;
    std::thread reader([&] { sent = ReadExactly(pty.Master(), out.size()); });
    PutAll(port, out);
    reader.join();
    EXPECT_EQ(sent.size(), out.size());
    EXPECT_TRUE(sent == out);
}

TEST(ComPortPty, GaugeLineSettingsApplyToATty) {
    TPtyPair pty(kPort);
    TComPort port(kPort);
    port.SetParity(EVENPARITY);
    port.SetDataBits(7);
    port.SetStopBits(1);
    port.Purge();
    port.EscapeComm(CLRRTS);  // a pty has no RTS line: nothing to drive
    port.SetBaudRate(9600);
    termios settings{};
    // The slave's settings as the line discipline sees them.
    const int slave = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    ASSERT_EQ(::tcgetattr(slave, &settings), 0);
    ::close(slave);
    // A pty keeps 8 data bits without parity whatever it is told; what it
    // does keep is the speed and the raw mode.
    EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B9600));
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(settings.c_cflag & CSTOPB, 0u);
}

TEST(ComPortPty, MissingOrBusyDeviceCannotBeOpened) {
    ::setenv("QMX_COM9", "/nonexistent/tty", 1);
    try {
        TComPort port(kPort);
        ADD_FAILURE() << "a missing device opened";
    } catch (const EOpenPortFail& error) {
        // "Невозможно открыть COM9"
        EXPECT_STREQ(error.what(), "\xCD\xE5\xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE \xEE\xF2\xEA\xF0\xFB\xF2\xFC COM9");
    }

    TPtyPair pty(kPort);
    TComPort first(kPort);
    EXPECT_THROW(TComPort second(kPort), EOpenPortFail);
}

TEST(ComPortPty, FarEndHangingUpCostsNoProcessorAndCloseCompletes) {
    auto pty = std::make_unique<TPtyPair>(kPort);
    auto port = std::make_unique<TCollectingPort>(kPort);
    const std::vector<std::uint8_t> block = {1, 2, 3};
    pty->HangUp();
    std::this_thread::sleep_for(100ms);
    port->PutBlock(block.data(), 3);  // a write to a line that has gone

    timespec before{}, after{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
    std::this_thread::sleep_for(500ms);
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
    const double cpu = static_cast<double>(after.tv_sec - before.tv_sec) +
                       static_cast<double>(after.tv_nsec - before.tv_nsec) / 1e9;
    // A worker retrying without pause would use the whole half second.
    EXPECT_LT(cpu, 0.1);
    port.reset();
}

TEST(ComPortPty, OpenCloseCyclesLeaveFilesAndThreadsAsTheyWere) {
    TPtyPair pty(kPort);
    { TComPort warmUp(kPort); }
    const std::size_t files = test::OpenFiles();
    const std::size_t threads = test::Threads();
    for (int i = 0; i < 200; ++i) TComPort port(kPort);
    EXPECT_EQ(test::OpenFiles(), files);
    EXPECT_EQ(test::Threads(), threads);
}

}  // namespace
}  // namespace qmx
