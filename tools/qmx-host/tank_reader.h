#pragma once

// Tanks 1 to kTanksShown read through the measurement slots, round after
// round, on a thread of the host's own, each tank's line posted to the
// window.

#include "driver_calls.h"
#include "host_window.h"

namespace qmx::host {

class TTankReader {
public:
    // `silo`: the driver's; started only with one.
    TTankReader(TDriver& driver, void* silo, const THostWindow& window);
    TTankReader(const TTankReader&) = delete;
    TTankReader& operator=(const TTankReader&) = delete;

    // Starts the thread, which reads for as long as the process runs: the
    // reader must live as long.
    void Start();

private:
    static DWORD WINAPI Run(void* reader);
    [[noreturn]] void ReadRounds();

    TDriver& FDriver;
    void* const FSilo;
    const THostWindow& FWindow;
};

}  // namespace qmx::host
