#pragma once

// A connection to a device server carrying the comm device's rules: a
// receiving thread decodes what arrives and moves it into the queue as room
// permits, holding the rest (TCP then holds the server back); a waiter
// sleeps on an event. A connection that breaks reports what a pulled
// adapter reports (ERROR_DEVICE_REMOVED).

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "netline/net_socket.h"
#include "platform/event.h"
#include "platform/recursive_lock.h"
#include "platform/thread.h"
#include "serial/comm_device.h"

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

class TNetDevice final : public TCommDevice {
public:
    TNetDevice(TSocket socket, std::unique_ptr<TNetCodec> codec);
    ~TNetDevice() override;

    // Starts the receiving thread; false when the system refused one.
    bool Start();
    TNetCodec& Codec() { return *FCodec; }
    const std::string& Peer() const { return FSocket.Peer(); }

    // Bytes of the connection's own (commands), whole, between writes.
    bool SendWire(const std::vector<std::uint8_t>& wire, DWORD& error);

private:
    static void ReceiverMain(void* device);
    void Receive();
    // Waits until the queue has taken what was decoded; false on a stop.
    bool AwaitRoom();
    // One read from the socket, decoded and stored; false once the
    // connection has ended.
    bool TakeInput();
    void LoseConnection(int socketError);

    // Moves decoded bytes into the queue as room permits.
    void FillLocked() override;
    void Block(bool room) override;
    void Wake() override;
    void RoomMade() override;
    // The line's bytes, encoded; a write that timed out says the server is
    // stuck, not gone.
    bool Send(const std::uint8_t* data, DWORD count, std::uint64_t limitMs, const std::function<bool()>& cancelled,
              DWORD& written, DWORD& error) override;
    void DiscardLocked(DWORD flags) override;
    bool SendWithin(const std::vector<std::uint8_t>& wire, std::uint64_t limitMs,
                    const std::function<bool()>& cancelled, DWORD& error);

    TSocket FSocket;
    const std::unique_ptr<TNetCodec> FCodec;
    TThread FReceiver;
    TEvent FReceiverDone;  // manual: a Windows thread is not joined
    std::atomic<bool> FStopping{false};

    TRecursiveLock FSendLock;  // a command never lands inside a write
    TEvent FChanged;           // auto: wakes the event wait to look again
    TEvent FRoom;              // auto: room in the queue for the receiver
    std::vector<std::uint8_t> FWaiting;  // decoded, not yet in the queue
};

}  // namespace qmx::net
