#pragma once

// What a process holds, counted from /proc: to show that cycles leave
// nothing behind.

#include <dirent.h>

#include <cstddef>

namespace qmx::test {

inline std::size_t EntriesIn(const char* directory) {
    std::size_t count = 0;
    if (DIR* dir = ::opendir(directory)) {
        while (::readdir(dir) != nullptr) ++count;
        ::closedir(dir);
    }
    return count;
}

inline std::size_t OpenFiles() { return EntriesIn("/proc/self/fd"); }
inline std::size_t Threads() { return EntriesIn("/proc/self/task"); }

}  // namespace qmx::test
