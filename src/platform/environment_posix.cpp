#include <cstdlib>

#include "platform/environment.h"

namespace qmx {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

}  // namespace qmx
