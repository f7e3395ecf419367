#pragma once

// A file replaced as one step, for a reader that polls it (a monitoring
// agent): written to a temporary file beside it, then moved over it, so the
// reader sees the old contents or the new, never half.

#include <string>

namespace qmx {

// False, with `problem` for the trace, when the file could not be replaced;
// the old contents then stand and no temporary file is left.
bool ReplaceWholeFile(const std::string& path, const std::string& contents, std::string& problem);

// Removes the file; a file that is not there is no failure.
void RemoveFileIfThere(const std::string& path);

}  // namespace qmx
