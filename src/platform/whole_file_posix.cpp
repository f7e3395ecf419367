#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/whole_file.h"

namespace qmx {

bool ReplaceWholeFile(const std::string& path, const std::string& contents, std::string& problem) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            problem = "cannot make " + temporary + ": " + std::strerror(errno);
            return false;
        }
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        out.close();
        if (out && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    }
    problem = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
}

void RemoveFileIfThere(const std::string& path) { std::remove(path.c_str()); }

}  // namespace qmx
