#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "platform/thread.h"

namespace qmx {
namespace {

// The C library and the sanitizers need more stack than the 16 KiB a Win32
// worker lives with.
constexpr std::size_t kLeastStack = 256 * 1024;

}  // namespace

bool TThread::Start(TProcedure procedure, void* argument, std::size_t stackSize) {
    Release();
    FProcedure = procedure;
    FArgument = argument;
    FKernelId = 0;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, std::max(stackSize, kLeastStack));
    FStarted = pthread_create(&FThread, &attributes, &TThread::Main, this) == 0;
    pthread_attr_destroy(&attributes);
    return FStarted;
}

bool TThread::Started() const { return FStarted; }

void* TThread::Main(void* self) {
    auto& thread = *static_cast<TThread*>(self);
    thread.FKernelId = static_cast<int>(::syscall(SYS_gettid));
    thread.Run();
    return nullptr;
}

void TThread::Run() { FProcedure(FArgument); }

void TThread::SetPriority(TPriority priority) {
    // The Win32 priorities become a lower nice value, when the process may
    // take one.
    const int nice = priority == TPriority::TimeCritical ? -10 : -5;
    const int id = FKernelId;
    if (FStarted && id != 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(id), nice);
}

void TThread::Terminate() {}

void TThread::Release() {
    if (FStarted) pthread_join(FThread, nullptr);
    FStarted = false;
}

}  // namespace qmx
