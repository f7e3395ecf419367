#pragma once

// Win32-style events and threads on POSIX, for the POSIX side of the comm
// layer: an event is set, reset and waited for with a time limit; a thread
// can be waited for like an event, asked to end, and joined when its handle
// is closed.

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace qmx {

// The kinds of object a POSIX handle may name.
struct TPosixObject {
    enum class TKind { Device, Event, Thread };
    explicit TPosixObject(TKind kind) : Kind(kind) {}
    virtual ~TPosixObject() = default;
    const TKind Kind;
};

class TPosixEvent final : public TPosixObject {
public:
    TPosixEvent(bool manualReset, bool initialState)
        : TPosixObject(TKind::Event), FManualReset(manualReset), FSignalled(initialState) {}

    void Set();
    void Reset();
    // True when signalled within `milliseconds` (0xFFFFFFFF: no limit).
    bool Wait(std::uint32_t milliseconds);

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    const bool FManualReset;
    bool FSignalled;
};

class TPosixThread final : public TPosixObject {
public:
    using TProcedure = std::uint32_t (*)(void*);

    TPosixThread() : TPosixObject(TKind::Thread), FFinished(true, false) {}
    ~TPosixThread() override;

    // Starts the thread; false when the system refused.
    bool Start(std::size_t stackSize, TProcedure procedure, void* argument);
    bool WaitFinished(std::uint32_t milliseconds) { return FFinished.Wait(milliseconds); }
    // Best effort: raises the thread's scheduling weight where permitted.
    void SetPriority(int priority);
    // Asks the thread to end at its next wait.
    void Cancel();
    std::uint32_t Id() const { return FId; }

private:
    static void* Main(void* self);

    pthread_t FThread{};
    bool FStarted = false;
    TProcedure FProcedure = nullptr;
    void* FArgument = nullptr;
    std::uint32_t FId = 0;               // the id handed out, unique in the process
    std::atomic<std::uint32_t> FTid{0};  // the kernel's id, once the thread runs
    TPosixEvent FFinished;
};

}  // namespace qmx
