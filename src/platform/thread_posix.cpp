#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

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

bool TThread::AwaitEnd(std::uint32_t milliseconds) {
    if (!FStarted) return true;
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        ++deadline.tv_sec;
        deadline.tv_nsec -= 1000000000L;
    }
    // Joined here, the thread is given back at once.
    if (pthread_timedjoin_np(FThread, nullptr, &deadline) != 0) return false;
    FStarted = false;
    return true;
}

void TThread::Release() {
    if (FStarted) pthread_join(FThread, nullptr);
    FStarted = false;
}

}  // namespace qmx
