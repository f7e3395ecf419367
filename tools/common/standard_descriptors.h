#pragma once

// A tool started with standard input, output or error closed (`>&-`) would
// get that number for the next file it opens: the gauge's device, say, and
// then print its rows to the gauge. Called first in main, before anything
// is opened.

namespace qmx::tools {

// Puts the null device on each of descriptors 0, 1 and 2 that is closed;
// false when one could not be (the tool should not go on).
bool EnsureStandardDescriptors();

}  // namespace qmx::tools
