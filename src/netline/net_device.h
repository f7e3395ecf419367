#pragma once

// A connection to a device server, behaving as the serial port expects of a
// Windows serial driver, as the POSIX tty device does: an input queue of
// its own, filled by a receiving thread; EV_RXCHAR when bytes arrive in it;
// a SetCommMask from another thread ends a pending wait; reads never block.
// Every call completes at once; none is left pending. A connection that
// breaks reports what a pulled adapter reports (ERROR_DEVICE_REMOVED).

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "netline/net_socket.h"
#include "platform/event.h"
#include "platform/recursive_lock.h"
#include "platform/thread.h"
#include "serial/byte_ring.h"
#include "serial/comm_api.h"

namespace qmx::net {

// What a connection carries besides the line's bytes (nothing, or Telnet).
class TNetCodec {
public:
    virtual ~TNetCodec() = default;
    // On the receiving thread: the line's bytes among `bytes` go to `data`;
    // what must be answered at once goes to `reply`.
    virtual void Decode(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
                        std::vector<std::uint8_t>& reply) = 0;
    // The line's bytes as they go on the connection.
    virtual void Encode(const std::uint8_t* data, std::size_t count, std::vector<std::uint8_t>& wire) = 0;
};

class TNetDevice final {
public:
    TNetDevice(TSocket socket, std::unique_ptr<TNetCodec> codec);
    ~TNetDevice();
    TNetDevice(const TNetDevice&) = delete;
    TNetDevice& operator=(const TNetDevice&) = delete;

    // Starts the receiving thread; false when the system refused one.
    bool Start();
    TNetCodec& Codec() { return *FCodec; }
    const std::string& Peer() const { return FSocket.Peer(); }

    bool Setup(DWORD inQueue, DWORD& error);
    void GetState(TDcb& dcb);
    void StoreState(const TDcb& dcb);
    void SetMask(DWORD mask);
    void SetTimeouts(const TCommTimeouts& timeouts);
    bool WaitEvent(DWORD& mask, const TOverlapped* overlapped, DWORD& error);
    bool Read(void* buffer, DWORD count, DWORD& read, DWORD& error);
    // The line's bytes, encoded; bounded by the write time-out.
    bool Write(const void* buffer, DWORD count, DWORD& written, DWORD& error);
    // Bytes of the connection's own (commands), whole, between writes.
    bool SendWire(const std::vector<std::uint8_t>& wire, DWORD& error);
    void Status(TComStat& stat);
    void Purge(DWORD flags);
    // Ends a wait in progress (any, when `overlapped` is null) with
    // ERROR_OPERATION_ABORTED; false when none matches.
    bool Cancel(const TOverlapped* overlapped);
    // True with the error once the connection has broken.
    bool Gone(DWORD& error);

private:
    static void ReceiverMain(void* device);
    void Receive();
    // Waits until the queue has room for what was decoded; false on a stop.
    bool AwaitRoom();
    // One read from the socket, decoded and stored; false once the
    // connection has ended.
    bool TakeInput();
    // Moves decoded bytes into the queue as room permits. Call with FLock held.
    void StoreLocked();
    void Lose(int socketError);

    TSocket FSocket;
    const std::unique_ptr<TNetCodec> FCodec;
    TThread FReceiver;
    TEvent FReceiverDone;  // manual: a Windows thread is not joined
    std::atomic<bool> FStopping{false};

    TRecursiveLock FLock;
    TRecursiveLock FSendLock;  // a command never lands inside a write
    TEvent FChanged;           // auto: wakes the event wait to look again
    TEvent FRoom;              // auto: room in the queue for the receiver
    TByteRing FQueue;          // the driver's input queue
    std::vector<std::uint8_t> FWaiting;  // decoded, not yet in the queue
    DWORD FMask = 0;
    bool FRxArrived = false;
    bool FGone = false;
    DWORD FGoneError = 0;
    std::uint64_t FMaskGeneration = 0;
    // As on a tty: a SetCommMask made between two waits ends the next one.
    std::uint64_t FSeenGeneration = 0;
    std::uint64_t FWaitCancels = 0;
    bool FWaitActive = false;
    const TOverlapped* FWaitingOn = nullptr;
    TCommTimeouts FTimeouts{};
    TDcb FDcb{};
};

}  // namespace qmx::net
