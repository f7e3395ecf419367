#pragma once

// A file that a program appends its own lines to (a trace), which must
// never hold the program up: opening a FIFO with no reader does not wait
// for one, and a write that the file does not take within a short time
// fails instead of blocking. "-" is standard error.

#include <string>

#ifdef _WIN32
#include <cstdio>
#endif

namespace qmx {

class TAppendFile {
public:
    TAppendFile() = default;
    ~TAppendFile() { Close(); }
    TAppendFile(const TAppendFile&) = delete;
    TAppendFile& operator=(const TAppendFile&) = delete;

    // False with the reason for people ("a FIFO with no reader").
    bool Open(const std::string& path, std::string& problem);
    // All of `text`, or false with the reason when the file refuses it
    // (its reader has gone, a full disk) or takes nothing for a while.
    bool Write(const std::string& text, std::string& problem);
    void Close();
    bool IsOpen() const;
    bool IsStandardError() const { return FStandardError; }

private:
#ifdef _WIN32
    std::FILE* FFile = nullptr;
#else
    int FFd = -1;
#endif
    bool FStandardError = false;
};

}  // namespace qmx
