#pragma once

// What qmx-read's exit status tells a supervisor, such as systemd with
// Restart= and RestartPreventExitStatus=: whether running it again can
// help. A wrong configuration will fail the same way each time; a device
// that is missing or went, or an output that cannot be written now, may be
// back later.

namespace qmx::tools {

enum TExitStatus : int {
    kAllValid = 0,       // every tank read valid
    kSomeInvalid = 1,    // the reading ran; some tanks gave no valid reading
    kUsage = 2,          // the command line or the configuration is wrong
    kDeviceFailed = 3,   // the device cannot be opened, or went and did not come back
    kOutputFailed = 4,   // the output, the trace or the metrics cannot be written
    kInterrupted = 130,  // SIGINT (Ctrl-C)
    kTerminated = 143,   // SIGTERM, or the console closing
};

}  // namespace qmx::tools
