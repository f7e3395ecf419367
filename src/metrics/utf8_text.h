#pragma once

// Text from outside (a device's path is any bytes a file name may hold) made
// fit for formats that take only UTF-8, such as Prometheus' label values.

#include <string>

namespace qmx {

// `text` with each byte that is not part of a well-formed UTF-8 sequence
// written as \xHH (hex, upper case); well-formed text comes back as it is.
std::string EscapeInvalidUtf8(const std::string& text);

}  // namespace qmx
