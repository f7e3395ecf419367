#pragma once

// Whether a file the user named for output can be replaced as one step (see
// platform/whole_file.h), asked before there is anything to write, so that a
// wrong path is said at start-up and not after the first round.

#include <string>

namespace qmx::tools {

// Its directory is there and writable, and it is not a FIFO, a device or a
// directory; a symbolic link is judged by the file it names. False with the
// problem for the user.
bool CheckReplaceable(const std::string& path, std::string& problem);

}  // namespace qmx::tools
