#include <windows.h>

#include "platform/whole_file.h"

namespace qmx {
namespace {

// Windows refuses to move a file over one that is open, whatever the
// reader's sharing (a collector reading it at a scrape, say): such a refusal
// passes once the reader is done, so the move is tried again for up to half
// a second before the write is given up. A reader that opens the file again
// as soon as it has closed it leaves only short gaps: the tries come every
// 2 ms, so that one of them falls in a gap.
constexpr int kMoveTries = 250;
constexpr DWORD kMovePause = 2;

bool MoveOver(const std::string& from, const std::string& to) {
    for (int tries = 1;; ++tries) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || tries == kMoveTries) return false;
        Sleep(kMovePause);
    }
}

}  // namespace

bool ReplaceWholeFile(const std::string& path, const std::string& contents, std::string& problem) {
    const std::string temporary = path + ".tmp";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        problem = "cannot make " + temporary + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    const DWORD writeError = GetLastError();
    const BOOL closed = CloseHandle(file);
    // MoveFileEx replaces the target in one step (and is there on XP);
    // MoveFile refuses an existing target.
    if (wrote && written == contents.size() && closed && MoveOver(temporary, path)) return true;
    const DWORD error = wrote ? GetLastError() : writeError;
    DeleteFileA(temporary.c_str());
    problem = "cannot write " + path + " (error " + std::to_string(error) + ")";
    return false;
}

// XP knows no symbolic links to files, and the directories a textfile
// collector reads are plain ones: the path is taken as it is.
std::string FollowLinks(const std::string& path, std::string&) { return path; }

void RemoveFileIfThere(const std::string& path) { DeleteFileA(path.c_str()); }

}  // namespace qmx
