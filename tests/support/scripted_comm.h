#pragma once

// A comm backend for tests. The device is scripted: each call's result,
// error code and pending completion can be set, call by call or for good;
// bytes can be made to arrive; what is written is kept. Every call is
// recorded with its arguments. Events and threads are real (the platform's),
// so the port's workers run as they would on a device.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/comm_api.h"

namespace qmx::test {

class TScriptedComm final : public TCommApi {
public:
    struct TOutcome {
        BOOL Result = TRUE;
        DWORD Error = ERROR_SUCCESS;
        bool Pending = false;  // fail with ERROR_IO_PENDING, complete later
    };

    TScriptedComm();
    ~TScriptedComm() override;

    // The next call of `call` has this outcome.
    void Next(const std::string& call, TOutcome outcome);
    // Every call of `call` has this outcome until changed.
    void Always(const std::string& call, TOutcome outcome);

    // The driver receives these bytes: they join its input queue and a
    // pending event wait completes with EV_RXCHAR.
    void Receive(const std::vector<std::uint8_t>& bytes);
    // A pending event wait completes with this mask.
    void Signal(DWORD mask);
    // Keeps pending writes pending until ReleaseWrites.
    void HoldWrites(bool hold);
    void ReleaseWrites();
    // A SetCommMask while a wait is pending completes it as a failure with
    // ERROR_OPERATION_ABORTED, as Wine does.
    void AbortWaitOnMaskChange(bool abort) { FAbortWaitOnMaskChange = abort; }

    std::vector<std::uint8_t> Sent();
    std::vector<std::string> Calls();
    // The recorded calls whose names are in `names`, in order.
    std::vector<std::string> CallsNamed(std::initializer_list<const char*> names);
    int CountOf(const std::string& name);
    void ClearCalls();
    // Devices opened through this backend and not closed yet.
    int OpenHandles();

    // Sleeps end once the driver has handed over what it received, instead
    // of after their time (for fuzzing, where time is short); the clock then
    // moves by what each sleep was asked for.
    bool InstantSleep = false;
    // Called after every write, outside the backend's lock.
    std::function<void()> OnWrite;
    // Sleeps are noted, thread by thread, when asked for; TakeSleeps gives
    // what the calling thread has asked to sleep, in order, since it last
    // took them.
    bool RecordSleeps = false;
    std::vector<DWORD> TakeSleepsOfThisThread();

    TDcb Dcb{};                        // what the driver holds
    std::vector<DWORD> WrittenSpans;   // the length of every write, in order
    std::size_t DriverQueueLimit = 4096;

    // TCommApi.
    THandle CreateFileA(const char* name, DWORD access, DWORD share, void* security, DWORD disposition,
                        DWORD flags, THandle templateFile) override;
    BOOL SetupComm(THandle device, DWORD inQueue, DWORD outQueue) override;
    BOOL GetCommState(THandle device, TDcb* dcb) override;
    BOOL SetCommState(THandle device, TDcb* dcb) override;
    BOOL SetCommMask(THandle device, DWORD mask) override;
    BOOL SetCommTimeouts(THandle device, TCommTimeouts* timeouts) override;
    BOOL WaitCommEvent(THandle device, DWORD* mask, TOverlapped* overlapped) override;
    BOOL ReadFile(THandle device, void* buffer, DWORD count, DWORD* read, TOverlapped* overlapped) override;
    BOOL WriteFile(THandle device, const void* buffer, DWORD count, DWORD* written,
                   TOverlapped* overlapped) override;
    BOOL GetOverlappedResult(THandle device, TOverlapped* overlapped, DWORD* transferred, BOOL wait) override;
    BOOL ClearCommError(THandle device, DWORD* errors, TComStat* stat) override;
    BOOL PurgeComm(THandle device, DWORD flags) override;
    BOOL EscapeCommFunction(THandle device, DWORD function) override;
    BOOL CancelIoEx(THandle device, TOverlapped* overlapped) override;
    BOOL CloseHandle(THandle handle) override;
    DWORD GetLastError() override;
    void Sleep(DWORD milliseconds) override;
    DWORD Milliseconds() override;

    static THandle DeviceHandle() { return reinterpret_cast<THandle>(std::uintptr_t{0xC0DE}); }

private:
    // Records the call and returns its scripted outcome.
    TOutcome Take(const std::string& name, const std::string& arguments);
    BOOL Finish(const TOutcome& outcome);
    BOOL WriteLocked(THandle device, const void* buffer, DWORD count, DWORD* written, TOverlapped* overlapped);
    void CompleteWaitLocked(DWORD mask);

    std::mutex FMutex;
    std::vector<std::string> FCalls;
    std::map<std::string, std::deque<TOutcome>> FNext;
    std::map<std::string, TOutcome> FAlways;
    std::deque<std::uint8_t> FDriverInput;
    std::vector<std::uint8_t> FSent;
    DWORD FMask = 0;
    DWORD* FWaitMask = nullptr;          // the pending wait's mask, if one is pending
    TOverlapped* FWaitRecord = nullptr;
    bool FWaitAborted = false;
    bool FRxArrived = false;
    bool FAbortWaitOnMaskChange = false;
    bool FHoldWrites = false;
    std::vector<TOverlapped*> FHeldWrites;
    std::map<TOverlapped*, std::vector<std::uint8_t>> FPendingReads;
    std::map<TOverlapped*, DWORD> FCompleted;  // transferred counts of completed pending I/O
    bool FDeviceOpen = false;
    std::atomic<DWORD> FSleptClock{0};  // the clock of instant sleeps
    std::map<std::thread::id, std::vector<DWORD>> FSleeps;
};

}  // namespace qmx::test
