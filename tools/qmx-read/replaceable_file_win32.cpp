#include <windows.h>

#include "replaceable_file.h"

namespace qmx::tools {

bool CheckReplaceable(const std::string& path, std::string& problem) {
    const std::size_t slash = path.find_last_of("\\/");
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const DWORD folder = GetFileAttributesA(directory.c_str());
    if (folder == INVALID_FILE_ATTRIBUTES || (folder & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        problem = "no such directory " + directory;
        return false;
    }
    const DWORD file = GetFileAttributesA(path.c_str());
    if (file != INVALID_FILE_ATTRIBUTES && (file & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        problem = "it is a directory, not a file to replace";
        return false;
    }
    return true;
}

}  // namespace qmx::tools
