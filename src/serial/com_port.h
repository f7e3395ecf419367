#pragma once

// TComPort: a serial port on overlapped I/O, with an input ring of 8192
// bytes that its event thread fills from the driver, an output ring that its
// writer thread drains into the driver, and the ESerialIO family for every
// failure. A derived class learns of arrived bytes through DataArrived.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/event.h"
#include "platform/recursive_lock.h"
#include "platform/thread.h"
#include "serial/byte_ring.h"
#include "serial/comm_api.h"
#include "serial/serial_errors.h"
#include "serial/wire_trace.h"

namespace qmx {

constexpr std::uint16_t kInRingSize = 8192;

class TComPort {
public:
    // Opens COM`portNumber` at once unless it is 0; raises the serial
    // layer's error, with nothing left acquired, when it cannot. Every byte
    // both ways goes to the trace at `tracePath` when it names one ("-":
    // standard error); unless told, the environment names it.
    explicit TComPort(std::uint16_t portNumber, TCommApi& api = PlatformComm(),
                      std::string tracePath = ConfiguredTracePath());
    virtual ~TComPort();
    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    void SetBaudRate(std::int32_t baudRate);
    void SetDataBits(std::uint8_t dataBits);
    void SetStopBits(std::uint8_t stopBits);
    void SetParity(std::uint8_t parity);
    // Markers that leave a value as the driver has it: baud 0, parity 5,
    // data bits 9, stop bits 3.
    void ApplySettings(std::int32_t baudRate, std::uint16_t parity, std::uint8_t dataBits,
                       std::uint8_t stopBits);

    // Writes "\\.\COM<n>" into `buffer` (16 characters at least).
    static char* DeviceName(char* buffer, std::uint16_t portNumber);

    DWORD GetLineErrors(TComStat& stat);
    void UpdateLineErrors();
    void CheckOpen() const;
    std::uint8_t PeekInput(std::uint16_t position);
    std::uint8_t GetChar();
    std::int32_t PutBlock(const void* data, std::uint16_t count);
    void Purge();
    void EscapeComm(DWORD function);

    // Called on the event thread with the count of bytes just stored in the
    // input ring (it may be 0), once a derived class has called
    // StartArrivals.
    virtual void DataArrived(std::uint16_t count);

    // Starts both workers (true) or stops them (false).
    void RunThreads(bool start);

    bool IsOpen() const { return FOpen; }
    std::uint16_t UnreadInputCount();
    std::uint16_t PendingOutputCount();

protected:
    void StartThreads();
    // Stops both workers, the writer first, each given the stop wait to
    // acknowledge; returns how many ended without acknowledging at all.
    int StopThreads();
    std::int32_t Enqueue(const void* data, std::uint16_t count);
    // The event thread starts inside this class's constructor, before a
    // derived class has been built: it calls DataArrived only after the
    // derived constructor has called this, at its end. Bytes that arrive
    // before wait in the ring.
    void StartArrivals() { FArrivalsStarted = true; }
    // The trace the port was given; a derived class adds its own lines.
    TWireTrace& Trace() { return FTrace; }
    // The line's name as the comm layer gives it (COM3, or a network
    // address).
    std::string LineName() { return FApi.LineName(FPortNumber); }
    // Sleeps through the comm layer, so that a scripted one sees it too.
    void Pause(DWORD milliseconds) { FApi.Sleep(milliseconds); }
    // The comm layer's clock, in milliseconds; only differences count.
    DWORD Now() { return FApi.Milliseconds(); }
    // Stops both workers and releases the device; a derived class calls it
    // first in its destructor, while its own fields still stand.
    void Close();
    // True once the device has shown the signs of having gone (a USB adapter
    // pulled, a pty hung up), until the port is opened again.
    bool DeviceLost() const { return FDeviceLost; }
    // Closes the port, its workers fully stopped, and opens the same device
    // again with the settings it has: what Open raises, with the port then
    // closed. Call only while nothing else uses the port.
    void Reopen();

private:
    void Open();
    void Release();
    void EndAbandonedIo();

    static void EventThreadMain(void* port);
    static void WriterThreadMain(void* port);
    // True when `worker` acknowledged its stop, in time or, where a thread
    // cannot be ended from outside, late.
    bool StopWorker(TThread& worker);
    // The event thread: prepares its wait, then waits for line events and
    // handles them, each wait's outcome deciding whether it goes on.
    void RunEventThread();
    void RunWriterThread();
    // How one wait for line events ended: with events (or none) to handle,
    // with the thread's stop, or with a failure the thread ends on, without
    // acknowledging.
    enum class TWaitEnd { Events, Stopping, Failed };
    // The wait's record and event, the event mask and the line's time-outs.
    void PrepareEventWait();
    // One WaitCommEvent, paced by `backOff` while it keeps failing.
    TWaitEnd WaitForEvents(DWORD& backOff);
    // The rest of a wait the driver left pending, counting the port's own
    // wake-ups since `wakesBefore`.
    TWaitEnd AwaitPendingWait(std::uint32_t wakesBefore, DWORD& backOff);
    TWaitEnd HandleFailedWait(DWORD failure, std::uint32_t wakesBefore, DWORD& backOff);
    // Ends the event thread's pending wait on purpose: a SetCommMask with
    // the mask it asks for, which changes nothing else.
    void WakeEventWait();
    // Cancels the event thread's pending wait and waits for it to end.
    void EndOwnWait();
    void HandleCommEvents();
    void ReadInput();
    void ReadPass();
    DWORD ReadSpan(std::uint8_t* destination, DWORD count);
    // Makes the event thread read again: the driver raises no new EV_RXCHAR
    // for bytes it already holds, so whatever frees room in the ring must
    // say so.
    void RequestRead();
    bool HasPendingOutput();
    void DrainOutput();
    void CallDataArrived(std::uint16_t count);
    // Waits before a failing call is tried again, so that a device that has
    // gone costs no processor time; returns at once once a stop is requested.
    void BackOff(DWORD& delay, bool (TComPort::*stopping)() const);
    bool StopRequested() const { return FStopRequested.load() != 0; }
    // Flags the device as gone when `error` is one of the signs of that,
    // outside a stop; true then.
    bool NoteDeviceFailure(DWORD error);
    bool EventThreadStopRequested() const { return FStopEventThread.load(); }
    void Acknowledge() { FAckEvent.Set(); }

    TCommApi& FApi;

    // Settings.
    std::int32_t FBaudRate = 5760;
    std::uint16_t FPortNumber = 0;
    std::uint8_t FDataBits = 8;
    std::uint8_t FStopBits = 1;
    std::uint8_t FParity = 0;
    std::uint16_t FOutQueueSize = 4096;
    std::uint16_t FInQueueSize = 4096;
    bool FOpen = false;

    // Device and status.
    THandle FHandle = nullptr;
    const std::string FTracePath;
    TWireTrace FTrace;
    TOverlapped FReadOverlapped{};
    TComStat FComStat{};
    TDcb FDcb{};
    TEvent FReadEvent;  // completion event of FReadOverlapped

    // Threads and events.
    std::atomic<std::int32_t> FStopRequested{0};
    TThread FEventThread;
    TThread FWriterThread;
    TRecursiveLock FPortLock;
    TEvent FAckEvent;
    TEvent FWakeEvent;
    TEvent FWriteDoneEvent;
    DWORD FWriteTimeout = 0;
    DWORD FEventMask = 0;
    TOverlapped FWaitOverlapped{};
    TEvent FWaitEvent;  // completion event of FWaitOverlapped
    TOverlapped FWriteOverlapped{};

    // Rings: output (FOutQueueSize bytes) and input (kInRingSize bytes).
    TByteRing FOutRing;
    TByteRing FInRing;

    // The event thread's own stop request, made once the writer has
    // acknowledged: the two workers share one auto-reset acknowledgement
    // event, and two acknowledgements made before the first wait ends would
    // count as one.
    std::atomic<bool> FStopEventThread{false};
    std::atomic<bool> FArrivalsStarted{false};

    // The event mask the event thread asks for; a SetCommMask with it from
    // another thread ends the pending wait without changing what is asked.
    std::atomic<DWORD> FCurrentMask{0};
    // Room was made in a full ring: the event thread reads again.
    std::atomic<bool> FReadRequested{false};
    // Counts the waits ended on purpose, so that the event thread tells them
    // from a wait the driver aborted.
    std::atomic<std::uint32_t> FWakes{0};
    std::atomic<bool> FDeviceLost{false};

    // Overlapped operations a worker has started and not yet seen end; a
    // worker cut off by the stop time-out may leave one, which Close ends
    // before the records and rings go. FWritePending is set before the
    // write is issued, so that a stop always learns of it.
    std::atomic<bool> FWaitPending{false};
    std::atomic<bool> FReadPending{false};
    std::atomic<bool> FWritePending{false};
};

}  // namespace qmx
