#include <windows.h>

#include "platform/event.h"

namespace qmx {

bool TEvent::Create(TReset reset) {
    Close();
    FHandle = CreateEventA(nullptr, reset == TReset::Manual ? TRUE : FALSE, FALSE, nullptr);
    return FHandle != nullptr;
}

void TEvent::Close() {
    if (FHandle != nullptr) CloseHandle(FHandle);
    FHandle = nullptr;
}

void TEvent::Set() { SetEvent(FHandle); }

void TEvent::Reset() { ResetEvent(FHandle); }

bool TEvent::Wait(std::uint32_t milliseconds) { return WaitForSingleObject(FHandle, milliseconds) == WAIT_OBJECT_0; }

void* TEvent::Handle() { return FHandle; }

}  // namespace qmx
