#include "output.h"

#include <cerrno>

namespace qmx::tools {

bool TOutput::Write(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), FOut) == text.size() && std::fflush(FOut) == 0) return true;
    FError = errno;
    return false;
}

bool TOutput::Begin() {
    TLockGuard lock(FLock);
    return BeginLocked();
}

bool TOutput::BeginLocked() {
    if (FBegun) return true;
    FBegun = true;
    switch (FFormat) {
        case TFormat::Table: return Write(TableHeader(FTimed, FInventory));
        case TFormat::Json: return FTimed || Write(JsonStart());
        case TFormat::Csv: return Write(CsvHeader(FTimed, FInventory));
    }
    return true;
}

bool TOutput::Row(const TTankReading& reading, const TInventory* inventory) {
    TLockGuard lock(FLock);
    if (FEnded) return true;
    ClearProgressLocked();
    if (!BeginLocked()) return false;
    // A row the columns were promised to has them, if empty.
    const TInventory none;
    if (FInventory && inventory == nullptr) inventory = &none;
    std::string text;
    switch (FFormat) {
        case TFormat::Table: text = TableRow(reading, inventory); break;
        case TFormat::Json:
            text = FTimed ? JsonLine(reading, inventory)
                          : (FRows == 0 ? "" : JsonSeparator()) + JsonRow(reading, inventory);
            break;
        case TFormat::Csv: text = CsvRow(reading, inventory); break;
    }
    ++FRows;
    return Write(text);
}

bool TOutput::End() {
    TLockGuard lock(FLock);
    return EndLocked();
}

bool TOutput::EndLocked() {
    ClearProgressLocked();
    if (FEnded) return true;
    if (!BeginLocked()) return false;
    FEnded = true;
    return FFormat == TFormat::Json && !FTimed ? Write(JsonEnd(FRows != 0)) : true;
}

void TOutput::Interrupt(const std::string& why, unsigned patience) {
    const bool locked = FLock.TryEnterFor(patience);
    if (locked) EndLocked();
    std::fprintf(stderr, "%s\n", why.c_str());
    std::fflush(stderr);
    if (locked) FLock.Leave();
}

void TOutput::Progress(const std::string& line) {
    TLockGuard lock(FLock);
    if (FEnded) return;
    // Padded over the longer line it replaces, which would otherwise show
    // its tail.
    const int width = static_cast<int>(line.size());
    std::fprintf(stderr, "\r%s%*s", line.c_str(), FProgressWidth > width ? FProgressWidth - width : 0, "");
    if (FProgressWidth > width) std::fprintf(stderr, "\r%s", line.c_str());
    FProgressWidth = width;
}

void TOutput::Note(const std::string& line) {
    TLockGuard lock(FLock);
    ClearProgressLocked();
    std::fprintf(stderr, "%s\n", line.c_str());
}

void TOutput::ClearProgressLocked() {
    if (FProgressWidth == 0) return;
    std::fprintf(stderr, "\r%*s\r", FProgressWidth, "");
    FProgressWidth = 0;
}

}  // namespace qmx::tools
