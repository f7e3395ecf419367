#include "protocol/frame_scan.h"

#include "protocol/frame.h"

namespace qmx {

std::size_t TFrameScan::Feed(const std::uint8_t* data, std::size_t count) {
    std::size_t frames = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t byte = data[i];
        if (FState == TState::AwaitingCheck) {
            // The check byte may be any value, an STX's included.
            frames += (FSum ^ byte) == 0 ? 1 : 0;
            FState = TState::Outside;
            continue;
        }
        // An STX inside a frame: the frame before was cut, this one begins.
        if (byte == kSTX) {
            FState = TState::Inside;
            FSum = byte;
            FLength = 1;
            continue;
        }
        if (FState == TState::Outside) continue;
        FSum ^= byte;
        if (byte == kETX) FState = TState::AwaitingCheck;
        else if (++FLength > kMaxFrameLength) FState = TState::Outside;
    }
    return frames;
}

}  // namespace qmx
