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

// Opens `path` for reading only (close-on-exec, non-blocking) and sets it
// to the gauge's rate and frame, raw: nothing the kernel would answer on
// the line by itself (no echo, no flow control), and no hang-up on close,
// which would drop the modem lines. The descriptor, or -1 with the reason.
//
// The modem lines are left as they are: no RTS or DTR set or cleared, no
// break, no flush. What cannot be helped: Linux raises DTR and RTS on a
// tty's first open (a port already open elsewhere keeps its lines), and no
// open flag stops it. A listener takes only the line's receive wire, so
// those lines reach nothing; a port in RS-485 mode has its RTS kept by the
// kernel as that mode sets it. The bytes the kernel held before the open
// are read as any others.
int OpenListeningTty(const std::string& path, std::string& problem);

// True when `fd` is a pty's slave end.
bool IsPtySlave(int fd);

}  // namespace qmx
