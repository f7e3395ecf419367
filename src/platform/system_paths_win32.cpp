#include <windows.h>

#include "platform/system_paths.h"

namespace qmx {

std::string WindowsDirectory() {
    char buffer[255] = {};
    UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    // A directory that does not fit is reported by its needed size, not
    // copied; the cut keeps the read inside the buffer all the same.
    if (length >= sizeof buffer) length = 0;
    return std::string(buffer, length);
}

std::optional<std::string> FindFileNoCase(const std::string& directory, std::string_view name) {
    // Windows file names already match without regard to case.
    std::string path = directory + "\\" + std::string(name);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return path;
}

}  // namespace qmx
