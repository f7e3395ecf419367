#include "shown_log.h"

namespace qmx::host {

bool TShownLog::Open(const std::string& path) {
    Close();
    FFile = std::fopen(path.c_str(), "a");
    return FFile != nullptr;
}

void TShownLog::Note(const std::string& text) {
    if (FFile == nullptr) return;
    std::fprintf(FFile, "%s\n", text.c_str());
    std::fflush(FFile);
}

void TShownLog::Close() {
    if (FFile != nullptr) std::fclose(FFile);
    FFile = nullptr;
}

}  // namespace qmx::host
