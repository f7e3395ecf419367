#include <windows.h>

#include "platform/environment.h"

namespace qmx {

std::string EnvironmentValue(const char* name) {
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length == 0 || length >= sizeof value ? std::string() : std::string(value, length);
}

}  // namespace qmx
