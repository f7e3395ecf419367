#pragma once

// A pty raw from the start, as a serial line is: what the benches serve the
// simulator on.

#include <pty.h>
#include <termios.h>

// `name` is its slave.
inline bool OpenRawPty(int& master, int& slave, char (&name)[256]) {
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    return true;
}
