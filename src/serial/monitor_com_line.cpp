#include "serial/monitor_com_line.h"

#include "protocol/gauge_line.h"
#include "serial/gauge_port_line.h"

namespace qmx {
namespace {

std::string WindowsError(TCommApi& comm) { return "Windows error " + std::to_string(comm.GetLastError()); }

// A COM port opened for reading only, read without waiting.
class TComMonitorLine final : public TMonitorLine {
public:
    TComMonitorLine(TCommApi& comm, THandle handle) : FComm(comm), FHandle(handle) {}
    ~TComMonitorLine() override { FComm.CloseHandle(FHandle); }
    TComMonitorLine(const TComMonitorLine&) = delete;
    TComMonitorLine& operator=(const TComMonitorLine&) = delete;

    long Read(std::uint8_t* buffer, std::size_t capacity, std::string& problem) override {
        DWORD got = 0;
        if (FComm.ReadFile(FHandle, buffer, static_cast<DWORD>(capacity), &got, nullptr)) return static_cast<long>(got);
        // An adapter unplugged, as any other failure: gone.
        problem = WindowsError(FComm);
        return -1;
    }

private:
    TCommApi& FComm;
    const THandle FHandle;
};

// The gauge's settings and nothing else: the DCB's DTR and RTS control are
// kept as the port has them, so setting it leaves both lines as they are,
// and no flow control answers on the line. Windows sets the lines as that
// control says when the port is opened; a tap takes only the receive wire.
// Reads return at once with what has come.
bool SetUp(TCommApi& comm, THandle handle, std::string& problem) {
    TDcb dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!comm.GetCommState(handle, &dcb)) {
        problem = "not a serial line (" + WindowsError(comm) + ")";
        return false;
    }
    PutGaugeLine(dcb);
    SetDcbFlags(dcb, (DcbFlags(dcb) | kDcbBinary | kDcbParity) &
                         ~(kDcbOutxCtsFlow | kDcbOutxDsrFlow | kDcbOutX | kDcbInX));
    TCommTimeouts timeouts{MAXDWORD, 0, 0, 0, 0};
    if (!comm.SetCommState(handle, &dcb) || !comm.SetCommTimeouts(handle, &timeouts)) {
        problem = "cannot set " + FrameText(kGaugeLine) + " (" + WindowsError(comm) + ")";
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<TMonitorLine> OpenComMonitorLine(TCommApi& comm, const std::string& path, std::string& problem) {
    const THandle handle = comm.CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        problem = WindowsError(comm);
        return nullptr;
    }
    if (!SetUp(comm, handle, problem)) {
        comm.CloseHandle(handle);
        return nullptr;
    }
    return std::make_unique<TComMonitorLine>(comm, handle);
}

}  // namespace qmx
