#include "platform/posix_sync.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

namespace qmx {

void TPosixEvent::Set() {
    {
        std::lock_guard lock(FMutex);
        FSignalled = true;
    }
    if (FManualReset)
        FChanged.notify_all();
    else
        FChanged.notify_one();
}

void TPosixEvent::Reset() {
    std::lock_guard lock(FMutex);
    FSignalled = false;
}

bool TPosixEvent::Wait(std::uint32_t milliseconds) {
    std::unique_lock lock(FMutex);
    const auto signalled = [this] { return FSignalled; };
    if (milliseconds == 0xFFFFFFFF)
        FChanged.wait(lock, signalled);
    else if (!FChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), signalled))
        return false;
    if (!FManualReset) FSignalled = false;
    return true;
}

TPosixThread::~TPosixThread() {
    // Closing a thread's handle waits for the thread to be gone, so that
    // nothing it used is freed under it.
    if (FStarted) pthread_join(FThread, nullptr);
}

bool TPosixThread::Start(std::size_t stackSize, TProcedure procedure, void* argument) {
    static std::atomic<std::uint32_t> lastId{0};
    FId = ++lastId;
    FProcedure = procedure;
    FArgument = argument;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackSize != 0) pthread_attr_setstacksize(&attributes, stackSize);
    FStarted = pthread_create(&FThread, &attributes, &TPosixThread::Main, this) == 0;
    pthread_attr_destroy(&attributes);
    return FStarted;
}

void* TPosixThread::Main(void* self) {
    auto& thread = *static_cast<TPosixThread*>(self);
    thread.FTid = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    // The finished event is set however the thread ends, cancellation included.
    struct TFinish {
        TPosixThread& Thread;
        ~TFinish() { Thread.FFinished.Set(); }
    } finish{thread};
    thread.FProcedure(thread.FArgument);
    return nullptr;
}

void TPosixThread::SetPriority(int priority) {
    // Win32 priorities 2 and 15 become a lower nice value when the process
    // may take one; otherwise the thread keeps the default.
    const int nice = priority >= 15 ? -10 : priority > 0 ? -5 : 0;
    const std::uint32_t tid = FTid;
    if (FStarted && tid != 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

void TPosixThread::Cancel() {
    if (FStarted) pthread_cancel(FThread);
}

}  // namespace qmx
