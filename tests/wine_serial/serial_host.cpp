// The serial port with the real Win32 calls, run under Wine on a COM port
// that the runner has mapped to a pty whose far end echoes every byte.
// Usage: qmx_serial_host.exe PORT_NUMBER

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "serial/com_port.h"

namespace {

int gFailed = 0;
int gPassed = 0;
// The comm layer the ports run on: the system's, or as on Windows XP.
qmx::TCommApi* gComm = &qmx::PlatformComm();

void Check(bool condition, const char* what) {
    if (!condition) {
        std::printf("  failed: %s\n", what);
        ++gFailed;
    }
}

// Collects what arrives, as the framed port does, with GetChar.
class TEchoPort final : public qmx::TComPort {
public:
    explicit TEchoPort(std::uint16_t number) : TComPort(number, *gComm) {
        InitializeCriticalSection(&FLock);
        StartArrivals();
    }
    ~TEchoPort() override {
        Close();
        DeleteCriticalSection(&FLock);
    }
    void DataArrived(std::uint16_t count) override {
        EnterCriticalSection(&FLock);
        for (std::uint16_t i = 0; i < count; ++i) FBytes.push_back(GetChar());
        LeaveCriticalSection(&FLock);
    }
    std::vector<std::uint8_t> WaitFor(std::size_t count) {
        for (int i = 0; i < 1000; ++i) {
            EnterCriticalSection(&FLock);
            const std::size_t have = FBytes.size();
            LeaveCriticalSection(&FLock);
            if (have >= count) break;
            Sleep(10);
        }
        EnterCriticalSection(&FLock);
        std::vector<std::uint8_t> bytes = FBytes;
        LeaveCriticalSection(&FLock);
        return bytes;
    }

private:
    CRITICAL_SECTION FLock;
    std::vector<std::uint8_t> FBytes;
};

void Run(const char* name, void (*test)(std::uint16_t), std::uint16_t port) {
    const int before = gFailed;
    std::printf("[ RUN  ] %s\n", name);
    std::fflush(stdout);
    try {
        test(port);
    } catch (const std::exception& error) {
        std::printf("  failed: raised %s\n", error.what());
        ++gFailed;
    }
    if (gFailed == before) ++gPassed;
    std::printf("[ %s ] %s\n", gFailed == before ? " OK " : "FAIL", name);
    std::fflush(stdout);
}

void EchoThroughGaugeSettings(std::uint16_t number) {
    TEchoPort port(number);
    port.SetParity(EVENPARITY);
    port.SetDataBits(7);
    port.SetStopBits(1);
    port.Purge();
    port.EscapeComm(CLRRTS);
    port.SetBaudRate(9600);
    const std::vector<std::uint8_t> frame = {0x02, 'L', '0', '5', 0x03, 0x48};
    port.PutBlock(frame.data(), static_cast<std::uint16_t>(frame.size()));
    Check(port.WaitFor(frame.size()) == frame, "the frame comes back as sent");
}

void LargeTransferWrapsBothRings(std::uint16_t number) {
    TEchoPort port(number);
    std::vector<std::uint8_t> sent;
    for (int block = 0; block < 40; ++block) {
        std::vector<std::uint8_t> bytes(1000);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(block * 31 + i);
        for (;;) {
            try {
                port.PutBlock(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
                break;
            } catch (const qmx::EOutputBufferTooSmall&) {
                Sleep(5);
            }
        }
        sent.insert(sent.end(), bytes.begin(), bytes.end());
    }
    Check(port.WaitFor(sent.size()) == sent, "40 000 bytes come back whole and in order");
}

void IdlePortClosesWithoutTheStopTimeOut(std::uint16_t number) {
    auto* port = new TEchoPort(number);
    Sleep(50);
    const DWORD start = GetTickCount();
    delete port;
    const DWORD took = GetTickCount() - start;
    std::printf("  close took %lu ms\n", static_cast<unsigned long>(took));
    Check(took < 200, "closing an idle port needs no 200 ms time-out");
}

void UnmappedPortCannotBeOpened(std::uint16_t) {
    try {
        qmx::TComPort port(200);
        Check(false, "COM200 opened");
    } catch (const qmx::EOpenPortFail& error) {
        // "Невозможно открыть COM200"
        Check(std::string(error.what()) == "\xCD\xE5\xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE \xEE\xF2\xEA\xF0\xFB\xF2\xFC COM200",
              "the message names the port");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: qmx_serial_host PORT_NUMBER\n");
        return 2;
    }
    const auto number = static_cast<std::uint16_t>(std::atoi(argv[1]));
    Run("EchoThroughGaugeSettings", &EchoThroughGaugeSettings, number);
    Run("LargeTransferWrapsBothRings", &LargeTransferWrapsBothRings, number);
    Run("IdlePortClosesWithoutTheStopTimeOut", &IdlePortClosesWithoutTheStopTimeOut, number);
    Run("UnmappedPortCannotBeOpened", &UnmappedPortCannotBeOpened, number);
    // Again without CancelIoEx, which Windows XP lacks.
    gComm = &qmx::Win32CommAsOnXp();
    Run("AsOnXpEchoThroughGaugeSettings", &EchoThroughGaugeSettings, number);
    Run("AsOnXpLargeTransferWrapsBothRings", &LargeTransferWrapsBothRings, number);
    Run("AsOnXpIdlePortClosesWithoutTheStopTimeOut", &IdlePortClosesWithoutTheStopTimeOut, number);
    std::printf("%d passed, %d failed\n", gPassed, gFailed);
    return gFailed == 0 ? 0 : 1;
}
