#pragma once

// A thread of the system's own, as the serial port's workers need one:
// started with a stack of a given size, given a priority, and, as the last
// resort of a stop, ended from outside where the system can do that safely.

#include <cstddef>
#include <cstdint>

#ifndef _WIN32
#include <pthread.h>

#include <atomic>
#endif

namespace qmx {

class TThread {
public:
    using TProcedure = void (*)(void* argument);
    enum class TPriority { Highest, TimeCritical };

    TThread() = default;
    ~TThread() { Release(); }
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Runs procedure(argument) on a new thread with at least `stackSize`
    // bytes of stack; false when the system refused.
    bool Start(TProcedure procedure, void* argument, std::size_t stackSize);
    bool Started() const;
    // Best effort: a priority the process may not take is left.
    void SetPriority(TPriority priority);
    // Ends a thread that does not answer. Windows ends it wherever it is.
    // POSIX has no safe way to (a cancelled thread may leave a lock held or
    // a half-updated ring), so there the thread runs on to its end, which
    // Release waits for.
    void Terminate();
    // True once the thread has ended, waiting up to `milliseconds` for it:
    // a thread that has acknowledged a stop still runs its last lines and
    // the system's farewell to it, and the library that holds its code may
    // be unloaded as soon as the owner goes on.
    bool AwaitEnd(std::uint32_t milliseconds);
    // Gives the thread back to the system: on POSIX once it has ended, since
    // a pthread must be joined; on Windows at once (the handle is closed).
    void Release();

private:
    void Run();

#ifdef _WIN32
    friend struct TThreadEntry;
    void* FHandle = nullptr;
#else
    static void* Main(void* self);
    pthread_t FThread{};
    bool FStarted = false;
    std::atomic<int> FKernelId{0};  // once the thread runs
#endif
    TProcedure FProcedure = nullptr;
    void* FArgument = nullptr;
};

}  // namespace qmx
