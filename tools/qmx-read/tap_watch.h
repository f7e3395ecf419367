#pragma once

// A monitor's account of what it hears, on standard error: a status line
// of the bytes from each side (on a terminal only), and a note, once per
// silence, when a side has gone quiet (in logs too).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "protocol/frame_scan.h"
#include "tap_hearing.h"

namespace qmx::tools {

class TTapWatch {
public:
    // `merged`: one device carries both ways. `statusLine`: standard error
    // is a terminal and the user did not ask for quiet.
    TTapWatch(double startedAt, bool merged, bool statusLine);

    void Heard(bool fromHost, const std::uint8_t* data, std::size_t count, double at);
    // The status line redrawn (at most a few times a second) and the note
    // of a silence that has begun.
    void Tick(double now);
    // Clears the status line before another line is written; the next
    // Tick draws it again.
    void Clear();

private:
    TTapHearing FHearing;
    TFrameScan FHostFrames;
    TFrameScan FGaugeFrames;
    const bool FStatusLine;
    std::optional<double> FDrawnAt;
    int FStatusWidth = 0;  // of the line shown, 0 when none is
    std::optional<TTapSilence> FNoted;
};

}  // namespace qmx::tools
