#pragma once

// One table from the system's socket errors to the Win32 codes the serial
// port reasons about, and to words for the user: a connection that is lost
// reports what a pulled USB adapter reports, so that the port treats a lost
// server as a device that has gone.

#include <string>

#include "serial/comm_api.h"

namespace qmx::net {

// Not a system error: the server closed the connection (a read of 0 bytes).
constexpr int kPeerClosed = -1;
// Not a system error: a wait gave up at its time limit.
constexpr int kTimedOut = -2;
// Not a system error: another thread interrupted the wait.
constexpr int kCancelled = -3;

DWORD Win32ErrorFromSocketError(int error);
std::string SocketErrorText(int error);

}  // namespace qmx::net
