#include "netline/monitor_open.h"
#include "serial/com_port_name.h"
#include "serial/monitor_com_line.h"

namespace qmx::net {

std::unique_ptr<TMonitorLine> OpenMonitorLine(const std::string& name, std::string& problem) {
    if (name.find("://") != std::string::npos) {
        problem = "on Windows the monitor listens on COM ports";
        return nullptr;
    }
    // COM12 opens as \\.\COM12, as any COM port does.
    const int number = ComPortNumberOf(name);
    return OpenComMonitorLine(PlatformComm(), number != 0 ? ComPortPath(number) : name, problem);
}

}  // namespace qmx::net
