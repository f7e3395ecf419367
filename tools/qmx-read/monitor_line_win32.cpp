#include "monitor_com_line.h"
#include "monitor_line.h"
#include "serial/com_port_name.h"

namespace qmx::tools {

std::unique_ptr<TMonitorLine> TMonitorLine::Open(const std::string& name, std::string& problem) {
    if (name.find("://") != std::string::npos) {
        problem = "on Windows the monitor listens on COM ports";
        return nullptr;
    }
    // COM12 opens as \\.\COM12, as any COM port does.
    const int number = ComPortNumberOf(name);
    return OpenComMonitorLine(PlatformComm(), number != 0 ? ComPortPath(number) : name, problem);
}

// No wait on several ports at once without a thread per port: a look each
// millisecond, so the delays the monitor gives are as fine as the system's
// timer tick.
std::vector<bool> AwaitBytes(const TMonitorLines& lines, int) {
    PlatformComm().Sleep(1);
    return std::vector<bool>(lines.size(), true);
}

}  // namespace qmx::tools
