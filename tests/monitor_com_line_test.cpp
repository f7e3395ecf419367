// The monitor's COM port as Windows gives it: opened for reading only, set
// to the gauge's settings and nothing else, read as bytes come.

#include <gtest/gtest.h>

#include "serial/monitor_com_line.h"
#include "support/scripted_comm.h"

namespace qmx {
namespace {

TEST(MonitorComLine, ReadsOnlyAndLeavesTheModemLinesAsTheyWere) {
    test::TScriptedComm comm;
    // As another program left it: 19200 8N1, DTR and RTS on, flow control.
    comm.Dcb.BaudRate = 19200;
    comm.Dcb.ByteSize = 8;
    constexpr DWORD kLines = 0x0010 | kDcbRtsControlEnable;
    SetDcbFlags(comm.Dcb, kLines | kDcbOutX | kDcbInX | kDcbOutxCtsFlow);
    std::string problem;
    auto line = OpenComMonitorLine(comm, "\\\\.\\COM7", problem);
    ASSERT_TRUE(line) << problem;
    EXPECT_EQ(comm.CallsNamed({"CreateFileA"}), std::vector<std::string>{"CreateFileA(\\\\.\\COM7,0x80000000,0,3,0x0)"});
    EXPECT_EQ(comm.Dcb.BaudRate, 9600u);
    EXPECT_EQ(comm.Dcb.ByteSize, 7);
    EXPECT_EQ(comm.Dcb.Parity, EVENPARITY);
    EXPECT_EQ(DcbFlags(comm.Dcb), kLines | kDcbBinary | kDcbParity);

    std::uint8_t buffer[64];
    EXPECT_EQ(line->Read(buffer, sizeof buffer, problem), 0);
    comm.Receive({0x02, 'L', '0', '1', 0x03, 'L'});
    EXPECT_EQ(line->Read(buffer, sizeof buffer, problem), 6);
    comm.Next("ReadFile", {FALSE, ERROR_DEVICE_REMOVED});
    EXPECT_EQ(line->Read(buffer, sizeof buffer, problem), -1);
    EXPECT_EQ(problem, "Windows error 1617");
    line.reset();
    EXPECT_EQ(comm.OpenHandles(), 0);
    // Nothing written, no line set or cleared, nothing purged.
    EXPECT_EQ(comm.CallsNamed({"WriteFile", "EscapeCommFunction", "PurgeComm", "SetupComm"}),
              std::vector<std::string>{});
}

}  // namespace
}  // namespace qmx
