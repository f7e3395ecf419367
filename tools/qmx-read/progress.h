#pragma once

// The progress line a round shows on a terminal: which tank, which attempt
// of the exchange under way, and how long the round has run and may still
// run. A dead line costs three seconds a tank, so the attempt and the time
// left tell a watcher at once whether to wait or to go and look.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace qmx::tools {

using TSeconds = std::chrono::seconds;

// "reading tank 3 (3 of 33), attempt 2 of 3, 0:07 elapsed, about 1:40
// left..."; `index` counts from 1; without `left` (no tank read yet) the
// time left is not guessed.
std::string ProgressLine(int tank, std::size_t index, std::size_t count, std::size_t attempt, TSeconds elapsed,
                         std::optional<TSeconds> left);

// The time the tanks not yet read may take, at the mean time of those read
// (`done` of `count`, in `elapsedDone`), less what the tank under way has
// already taken; nothing before a tank has been read.
std::optional<TSeconds> TimeLeft(std::size_t done, std::size_t count, std::chrono::duration<double> elapsedDone,
                                 std::chrono::duration<double> inTank);

// "0:07", "12:40", "1:02:03".
std::string ClockText(TSeconds time);

}  // namespace qmx::tools
