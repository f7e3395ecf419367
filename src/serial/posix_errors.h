#pragma once

// One table from the system's errors to the Win32 codes the port reasons
// about, so that the POSIX backend reports failures the way a Windows
// serial driver does.

#include "serial/comm_api.h"

namespace qmx {

DWORD Win32ErrorFromErrno(int error);

}  // namespace qmx
