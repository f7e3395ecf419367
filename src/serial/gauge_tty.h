#pragma once

// A serial device (Linux) set up for the gauge's line (protocol/gauge_line.h),
// raw, no flow control, whichever end of the line it is. On a null-modem
// cable to a reader at 7E1, an end left at 8N1 would take "L" (0x4C, sent
// with its parity bit) as 0xCC.

#include <string>

#include <termios.h>

namespace qmx {

// `current` with the gauge's rate and frame put in, raw; whatever else it
// holds (the device's defaults, a program's before) goes.
termios GaugeLineSettings(const termios& current);

// Opens `path` (close-on-exec, non-blocking) and sets it up, RTS as the
// gauge's line has it; the descriptor, or -1 with the reason in `problem`
// when it cannot be opened, is no serial line, or does not take the
// settings. A pty, which keeps 8 data bits without parity whatever it is
// told, is taken with the rest.
int OpenGaugeTty(const std::string& path, std::string& problem);

// True when `fd` is a pty's slave end.
bool IsPtySlave(int fd);

}  // namespace qmx
