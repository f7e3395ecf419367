#pragma once

// The gauge's line (protocol/gauge_line.h) on the library's own ports,
// whichever end of the line the port is.

#include "serial/com_port.h"

namespace qmx {

// Sets the port's frame, drops what came in before, sets RTS, then the
// rate; raises the port's errors when the device refuses one.
void SetGaugeLine(TComPort& port);

// Puts the gauge's rate and frame into `dcb`, and nothing else: its flow
// control and modem-line control stay as they are.
void PutGaugeLine(TDcb& dcb);

}  // namespace qmx
