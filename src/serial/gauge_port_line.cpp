#include "serial/gauge_port_line.h"

#include "protocol/gauge_line.h"

namespace qmx {

void SetGaugeLine(TComPort& port) {
    port.SetParity(EVENPARITY);
    port.SetDataBits(7);
    port.SetStopBits(1);
    port.SetBaudRate(kGaugeBaudRate);
}

}  // namespace qmx
