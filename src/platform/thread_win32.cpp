#include <windows.h>

#include "platform/thread.h"

namespace qmx {

struct TThreadEntry {
    static DWORD WINAPI Main(LPVOID self) {
        static_cast<TThread*>(self)->Run();
        return 0;
    }
};

bool TThread::Start(TProcedure procedure, void* argument, std::size_t stackSize) {
    Release();
    FProcedure = procedure;
    FArgument = argument;
    FHandle = CreateThread(nullptr, stackSize, &TThreadEntry::Main, this, 0, nullptr);
    return FHandle != nullptr;
}

bool TThread::Started() const { return FHandle != nullptr; }

void TThread::Run() { FProcedure(FArgument); }

void TThread::SetPriority(TPriority priority) {
    SetThreadPriority(FHandle,
                      priority == TPriority::TimeCritical ? THREAD_PRIORITY_TIME_CRITICAL : THREAD_PRIORITY_HIGHEST);
}

void TThread::Terminate() { TerminateThread(FHandle, 0); }

// Bounded, as every wait for a thread should be: inside the library's
// unloading the thread's end waits for the loader lock this thread holds.
bool TThread::AwaitEnd(std::uint32_t milliseconds) {
    return FHandle == nullptr || WaitForSingleObject(FHandle, milliseconds) == WAIT_OBJECT_0;
}

// Closing the handle does not wait for the thread; AwaitEnd does.
void TThread::Release() {
    if (FHandle != nullptr) CloseHandle(FHandle);
    FHandle = nullptr;
}

}  // namespace qmx
