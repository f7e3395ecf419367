#include <chrono>

#include "platform/event.h"

namespace qmx {

bool TEvent::Create(TReset reset) {
    std::lock_guard lock(FMutex);
    FManualReset = reset == TReset::Manual;
    FSignalled = false;
    return true;
}

void TEvent::Close() {
    std::lock_guard lock(FMutex);
    FSignalled = false;
}

void TEvent::Set() {
    {
        std::lock_guard lock(FMutex);
        FSignalled = true;
    }
    if (FManualReset)
        FChanged.notify_all();
    else
        FChanged.notify_one();
}

void TEvent::Reset() {
    std::lock_guard lock(FMutex);
    FSignalled = false;
}

bool TEvent::Wait(std::uint32_t milliseconds) {
    std::unique_lock lock(FMutex);
    const auto signalled = [this] { return FSignalled; };
    if (milliseconds == kWaitForever)
        FChanged.wait(lock, signalled);
    else if (!FChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), signalled))
        return false;
    if (!FManualReset) FSignalled = false;
    return true;
}

void* TEvent::Handle() { return this; }

}  // namespace qmx
