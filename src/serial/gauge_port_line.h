#pragma once

// The gauge's line on a port the library drives: 9600 baud, 7 data bits,
// even parity, one stop bit, whichever end of the line the port is.

#include "serial/com_port.h"

namespace qmx {

// Sets the port's frame and rate; raises the port's errors when the device
// refuses one.
void SetGaugeLine(TComPort& port);

}  // namespace qmx
