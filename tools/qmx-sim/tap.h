#pragma once

// The other half of a line monitor: ptys that carry a copy of every byte
// on the gauge's line as it passed, as a bus shows them to a listener;
// one for both directions in their order, or one for each (the host's
// requests, then the gauge's answers). A listener should send nothing:
// whatever it writes into a tap is counted, so that a test can prove it.

#include <memory>
#include <optional>
#include <string>

#include "served_line.h"

namespace qmx::sim {

class TTap {
public:
    virtual ~TTap() = default;
    // Bytes the taps' listeners wrote into them so far.
    virtual long long BytesWritten() = 0;
};

// With `paths` (PATH or PATH,PATH, links to make as --link makes its own),
// the taps, and `served`'s line wrapped so that what passes on it is
// copied to them; nothing when `paths` is empty. What went wrong when the
// taps cannot be made.
std::optional<std::string> AddTap(const std::string& paths, TServedLine& served, std::unique_ptr<TTap>& tap);

}  // namespace qmx::sim
