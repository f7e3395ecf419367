#include <errno.h>

#include <cstdlib>

#include "platform/environment.h"

namespace qmx {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

std::string ProgramName() { return program_invocation_short_name; }

}  // namespace qmx
