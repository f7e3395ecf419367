#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <strings.h>

#include "platform/system_paths.h"

namespace qmx {
namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

std::string WindowsDirectory() {
    const char* configured = std::getenv("WINDIR");
    if (configured != nullptr && *configured != '\0') return configured;
    return "/etc";
}

std::optional<std::string> FindFileNoCase(const std::string& directory, std::string_view name) {
    const std::string wanted(name);
    const std::string exact = directory + "/" + wanted;
    if (IsRegularFile(exact)) return exact;

    std::unique_ptr<DIR, TDirCloser> dir(::opendir(directory.c_str()));
    if (!dir) return std::nullopt;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (::strcasecmp(entry->d_name, wanted.c_str()) != 0) continue;
        const std::string candidate = directory + "/" + entry->d_name;
        if (IsRegularFile(candidate)) return candidate;
    }
    return std::nullopt;
}

}  // namespace qmx
