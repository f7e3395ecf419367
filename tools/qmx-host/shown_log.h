#pragma once

// What the operator is shown, also written to a log when the host is given
// one: one text a line, each flushed at once, so that a test reads it while
// the host runs.

#include <cstdio>
#include <string>

namespace qmx::host {

class TShownLog {
public:
    TShownLog() = default;
    ~TShownLog() { Close(); }
    TShownLog(const TShownLog&) = delete;
    TShownLog& operator=(const TShownLog&) = delete;

    // Appends to the file at `path`; false when it cannot be written.
    bool Open(const std::string& path);
    // Nothing without a log.
    void Note(const std::string& text);
    void Close();

private:
    std::FILE* FFile = nullptr;
};

}  // namespace qmx::host
