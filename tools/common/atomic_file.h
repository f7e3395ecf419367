#pragma once

// Replaces a file's contents as one step: written to a temporary file in the
// same directory, then renamed over it, so that a reader (a monitoring
// agent polling the file) sees the old contents or the new, never half.

#include <string>

namespace qmx::tools {

// False, with `problem` for the user, when the file could not be replaced;
// the old contents then stand and no temporary file is left.
bool ReplaceFileContents(const std::string& path, const std::string& contents, std::string& problem);

}  // namespace qmx::tools
