#include "serial/wire_trace.h"

#include <chrono>
#include <ctime>

namespace qmx {
namespace {

constexpr std::size_t kBytesPerLine = 16;

std::string Stamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(millis));
    return text;
}

}  // namespace

bool TWireTrace::Open(const std::string& path) {
    if (path == "-") {
        FFile = stderr;
        FOwned = false;
        return true;
    }
    // Close-on-exec where the C library knows how ("e").
#ifdef _WIN32
    FFile = std::fopen(path.c_str(), "a");
#else
    FFile = std::fopen(path.c_str(), "ae");
#endif
    FOwned = FFile != nullptr;
    return FFile != nullptr;
}

TWireTrace::~TWireTrace() {
    if (FOwned) std::fclose(FFile);
}

std::string TWireTrace::Format(TDirection direction, const std::uint8_t* data, std::size_t count) {
    std::string hex, ascii;
    for (std::size_t i = 0; i < count; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X ", data[i]);
        hex += byte;
        ascii += (data[i] >= 0x20 && data[i] < 0x7F) ? static_cast<char>(data[i]) : '.';
    }
    hex.resize(kBytesPerLine * 3, ' ');
    return std::string(direction == TDirection::Sent ? "> " : "< ") + hex + " " + ascii;
}

void TWireTrace::Section(const std::string& header) {
    if (FFile == nullptr) return;
    TLockGuard guard(FLock);
    std::fprintf(FFile, "\n=== %s %s\n", Stamp().c_str(), header.c_str());
    std::fflush(FFile);
}

void TWireTrace::Note(const std::string& text) {
    if (FFile == nullptr) return;
    TLockGuard guard(FLock);
    std::fprintf(FFile, "%s # %s\n", Stamp().c_str(), text.c_str());
    std::fflush(FFile);
}

void TWireTrace::Log(TDirection direction, const void* data, std::size_t count) {
    if (FFile == nullptr || count == 0) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::string stamp = Stamp();
    TLockGuard guard(FLock);
    for (std::size_t at = 0; at < count; at += kBytesPerLine) {
        const std::size_t n = count - at < kBytesPerLine ? count - at : kBytesPerLine;
        std::fprintf(FFile, "%s %s\n", stamp.c_str(), Format(direction, bytes + at, n).c_str());
    }
    std::fflush(FFile);
}

}  // namespace qmx
