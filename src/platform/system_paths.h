#pragma once

// Where the driver's configuration file lives, and whether it is there.

#include <optional>
#include <string>
#include <string_view>

namespace qmx {

// The Windows directory as GetWindowsDirectoryA reports it into a buffer of
// 255 characters, cut to the reported length. Off Windows it is the
// directory named by the environment variable WINDIR, else /etc.
std::string WindowsDirectory();

// The path of the file `name` in `directory`, when it exists. The name is
// matched without regard to case, as on Windows, also on file systems that
// tell case apart.
std::optional<std::string> FindFileNoCase(const std::string& directory, std::string_view name);

}  // namespace qmx
