#include <cctype>

#include "monitor_com_line.h"
#include "monitor_line.h"

namespace qmx::tools {
namespace {

// COM12 is \\.\COM12, the name that opens any COM port.
std::string PortPath(const std::string& name) {
    if (name.size() > 3 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "com") == 0) &&
        std::isdigit(static_cast<unsigned char>(name[3])))
        return "\\\\.\\" + name;
    return name;
}

}  // namespace

std::unique_ptr<TMonitorLine> TMonitorLine::Open(const std::string& name, std::string& problem) {
    if (name.find("://") != std::string::npos) {
        problem = "on Windows the monitor listens on COM ports";
        return nullptr;
    }
    return OpenComMonitorLine(PlatformComm(), PortPath(name), problem);
}

// No wait on several ports at once without a thread per port: a look each
// millisecond, so the delays the monitor gives are as fine as the system's
// timer tick.
std::vector<bool> AwaitBytes(const TMonitorLines& lines, int) {
    PlatformComm().Sleep(1);
    return std::vector<bool>(lines.size(), true);
}

}  // namespace qmx::tools
