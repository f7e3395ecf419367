#pragma once

// Off Windows, the tty a COM port number stands for: the path in QMX_COMn
// when it is set, else /dev/ttyS(n-1).

#include <string>

namespace qmx {

std::string ComDevicePath(long number);

}  // namespace qmx
