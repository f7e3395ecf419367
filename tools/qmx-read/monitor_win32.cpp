#include <cstdio>

#include "exit_status.h"
#include "monitor.h"

namespace qmx::tools {

// Listening to a COM port without the driver's port, which writes its
// settings and purges, is for a later version.
int RunMonitor(const TOptions&) {
    std::fputs("qmx-read: --monitor works on Linux only in this version\n", stderr);
    return kUsage;
}

}  // namespace qmx::tools
