#pragma once

// The line the simulator serves, as its options name it: its own pty (with
// a link), a device, a COM port or a network port; and what must live as
// long as the line does.

#include <memory>
#include <optional>
#include <string>

#include "serial/wire_trace.h"
#include "sim_line.h"
#include "sim_options.h"

#ifndef _WIN32
#include "pty_end.h"
#endif

namespace qmx::sim {

struct TServedLine {
    TServedLine() = default;
    ~TServedLine();
    TServedLine(const TServedLine&) = delete;
    TServedLine& operator=(const TServedLine&) = delete;

    std::unique_ptr<TSimLine> Line;
    std::string Name;  // what the reader is given: a path, COMn, a URL
#ifndef _WIN32
    std::unique_ptr<TPtyEnd> Pty;
    int DeviceFd = -1;  // the device's, closed here
#endif
};

// Opens the line; what went wrong (for "qmx-sim: ...") when it cannot.
// `trace` may be null.
std::optional<std::string> OpenServedLine(const TSimOptions& options, TWireTrace* trace, TServedLine& served);

}  // namespace qmx::sim
