#include <windows.h>

#include <cstdio>

#include "atomic_file.h"

namespace qmx::tools {

bool ReplaceFileContents(const std::string& path, const std::string& contents, std::string& problem) {
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        problem = "cannot make the temporary file " + temporary;
        return false;
    }
    const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    const bool closed = std::fclose(file) == 0;
    // MoveFileEx replaces the target in one step on NTFS; plain rename
    // refuses an existing target on Windows.
    if (!written || !closed ||
        MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        problem = "cannot write " + path;
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

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
