#pragma once

// Replaces a file's contents as one step: written to a temporary file in the
// same directory, then renamed over it, so that a reader (a monitoring
// agent polling the file) sees the old contents or the new, never half. A
// symbolic link is followed: the file it names is replaced, in its own
// directory, and the link stays.

#include <string>

namespace qmx::tools {

// False, with `problem` for the user, when the file could not be replaced;
// the old contents then stand and no temporary file is left.
bool ReplaceFileContents(const std::string& path, const std::string& contents, std::string& problem);

// Whether `path` can be replaced so, before there is anything to write:
// its directory is there and writable, and it is not a FIFO, a device or
// a directory. False with the problem for the user.
bool CheckReplaceable(const std::string& path, std::string& problem);

}  // namespace qmx::tools
