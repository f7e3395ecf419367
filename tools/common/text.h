#pragma once

// Texts the driver speaks in code page 1251, for terminals that speak UTF-8.

#include <string>

namespace qmx::tools {

std::string Cp1251ToUtf8(const std::string& text);

}  // namespace qmx::tools
