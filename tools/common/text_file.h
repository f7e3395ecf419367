#pragma once

// A small file read whole, opened close-on-exec where the system has it, so
// that no program the tool might start inherits it.

#include <cstddef>
#include <optional>
#include <string>

namespace qmx::tools {

// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// An input file's bytes into `text`, read as they come (a FIFO until its
// writer closes it), and no more than `limit`; or why not, as "cannot
// read PATH: reason" or "PATH is larger than N MB, the most taken". A read
// a signal breaks off ends it when `stopped` (may be null) says so.
std::optional<std::string> ReadInputFile(const std::string& path, std::size_t limit, std::string& text,
                                         bool (*stopped)() = nullptr);

// "N MB" for a limit of bytes, as the messages name it.
std::string LimitText(std::size_t limit);

}  // namespace qmx::tools
