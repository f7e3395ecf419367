#include <windows.h>

#include "platform/environment.h"

namespace qmx {

std::string EnvironmentValue(const char* name) {
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length == 0 || length >= sizeof value ? std::string() : std::string(value, length);
}

std::string ProgramName() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name(path, length < sizeof path ? length : 0);
    if (const auto slash = name.find_last_of("\\/"); slash != std::string::npos) name.erase(0, slash + 1);
    if (const auto dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace qmx
