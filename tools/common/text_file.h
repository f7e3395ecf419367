#pragma once

// A small file read whole, opened close-on-exec where the system has it, so
// that no program the tool might start inherits it.

#include <optional>
#include <string>

namespace qmx::tools {

// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace qmx::tools
