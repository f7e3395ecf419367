#include <fstream>

#include "platform/profile_file.h"
#include "platform/system_paths.h"

namespace qmx {

std::uint32_t ReadProfileInt(const std::string& path, std::string_view section,
                             std::string_view key, std::int32_t defaultValue) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return static_cast<std::uint32_t>(defaultValue);
    const auto value = FindProfileValue(in, section, key);
    if (!value || value->empty()) return static_cast<std::uint32_t>(defaultValue);
    return ProfileTextToInt(*value);
}

std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key) {
    std::ifstream in(path, std::ios::binary);
    return in ? FindProfileValue(in, section, key).value_or("") : "";
}

}  // namespace qmx

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

namespace qmx {
namespace {

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

bool WriteWindowsProfileInt(std::string_view name, std::string_view section, std::string_view key,
                            std::int32_t value, std::string& error) {
    const auto path = FindFileNoCase(WindowsDirectory(), name);
    if (!path) {
        error = "no " + std::string(name) + " in " + WindowsDirectory();
        return false;
    }
    return WriteProfileInt(*path, section, key, value, error);
}

bool WriteProfileInt(const std::string& name, std::string_view section, std::string_view key,
                     std::int32_t value, std::string& error) {
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        error = "cannot read " + name + ": " + std::strerror(errno);
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::string updated = WithProfileValue(text, section, key, std::to_string(value));

    struct stat info {};
    const mode_t mode = ::stat(name.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
    std::string temporary = name + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot write beside " + name + ": " + std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(fd, updated) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int writeError = errno;
    ::close(fd);
    // The old file is replaced only by a complete new one.
    if (!written || ::rename(temporary.c_str(), name.c_str()) != 0) {
        error = "cannot write " + name + ": " + std::strerror(written ? errno : writeError);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace qmx
