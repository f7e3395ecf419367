#pragma once

// A text as a JSON string: quoted, with quotes, backslashes and control
// characters escaped, so that what a device or a gauge sent cannot break
// the document.

#include <string>

namespace qmx::tools {

std::string JsonString(const std::string& text);

}  // namespace qmx::tools
