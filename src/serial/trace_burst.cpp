#include "serial/trace_burst.h"

#include <algorithm>
#include <cstdio>

namespace qmx {
namespace {

// The width of the old lines' hex column, which short bursts still keep.
constexpr std::size_t kAlignedBytes = 16;

}  // namespace

std::string SectionSeconds(long long sectionMs, long long spanMs) {
    char text[64];
    if (spanMs > 0)
        std::snprintf(text, sizeof text, " [%lld.%03lld+%lld.%03lld]", sectionMs / 1000, sectionMs % 1000, spanMs / 1000,
                      spanMs % 1000);
    else
        std::snprintf(text, sizeof text, " [%lld.%03lld]", sectionMs / 1000, sectionMs % 1000);
    return text;
}

std::string FormatTraceBytes(TTraceDirection direction, const std::uint8_t* data, std::size_t count) {
    std::string hex, ascii;
    hex.reserve(std::max(count, kAlignedBytes) * 3);
    for (std::size_t i = 0; i < count; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X ", data[i]);
        hex += byte;
        ascii += (data[i] >= 0x20 && data[i] < 0x7F) ? static_cast<char>(data[i]) : '.';
    }
    if (hex.size() < kAlignedBytes * 3) hex.resize(kAlignedBytes * 3, ' ');
    return std::string(direction == TTraceDirection::Sent ? "> " : "< ") + hex + " " + ascii;
}

bool TTraceBurst::Continues(TTraceDirection direction, TSteady at) const {
    return !FBytes.empty() && direction == FDirection && at - FLast <= kBurstGap;
}

void TTraceBurst::Take(TTraceDirection direction, const std::uint8_t* data, std::size_t count, TSteady at,
                       const TStamper& stamp, const TWrite& write) {
    while (count > 0) {
        if (!Continues(direction, at)) {
            Flush(write);
            FDirection = direction;
            FStamp = stamp();
            FFirst = at;
        }
        const std::size_t taken = std::min(count, kBurstLineBytes - FBytes.size());
        FBytes.insert(FBytes.end(), data, data + taken);
        FLast = at;
        data += taken;
        count -= taken;
        if (FBytes.size() == kBurstLineBytes) Flush(write);
    }
}

void TTraceBurst::Flush(const TWrite& write) {
    if (FBytes.empty()) return;
    const long long span = std::chrono::duration_cast<std::chrono::milliseconds>(FLast - FFirst).count();
    const std::string line = FStamp.Wall + SectionSeconds(FStamp.SectionMs, span) + " " +
                             FormatTraceBytes(FDirection, FBytes.data(), FBytes.size()) + "\n";
    FBytes.clear();
    write(line);
}

void TTraceBurst::FlushEnded(TSteady now, const TWrite& write) {
    if (!FBytes.empty() && now - FLast > kBurstGap) Flush(write);
}

}  // namespace qmx
