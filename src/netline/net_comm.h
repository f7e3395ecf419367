#pragma once

// The comm layer of a line behind a network: one object for one port. It
// connects when the port opens its device, whatever COM name the port
// asks for, and again each time the port opens it anew after the
// connection was lost. socket:// carries the line's bytes as they are;
// rfc2217:// (TRfc2217Comm) also sets the server's serial line.
//
// An opening or a setting that fails raises the serial layer's error with
// the reason in the network's terms (the server refused, answered 8 data
// bits, did not answer within 5 s), where a serial device could only say
// that it failed.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "netline/net_address.h"
#include "netline/net_device.h"
#include "platform/recursive_lock.h"
#include "serial/device_comm.h"

namespace qmx::net {

// About what a technician waits before taking a server as unreachable.
constexpr std::chrono::milliseconds kConnectTimeout{5000};
// Connecting again after a lost connection, before an exchange: a server
// that answered before answers a handshake within this, and one that is
// down must not hold every exchange of a round for the full time-out.
constexpr std::chrono::milliseconds kReconnectTimeout{1000};

class TNetComm : public TDeviceComm {
public:
    // The comm layer the address's scheme names.
    static std::unique_ptr<TNetComm> For(const TNetAddress& address);

    explicit TNetComm(TNetAddress address);
    ~TNetComm() override;

    // Once the port has set the line up: raises the refusal of the first
    // setting the server did not take (raw TCP takes nothing and refuses
    // nothing).
    virtual void ConfirmLineTaken() {}

    THandle CreateFileA(const char* name, DWORD access, DWORD share, void* security, DWORD disposition,
                        DWORD flags, THandle templateFile) override;
    // Says first what the trace is to hear of the line.
    BOOL WriteFile(THandle device, const void* buffer, DWORD count, DWORD* written,
                   TOverlapped* overlapped) override;
    void Sleep(DWORD milliseconds) override;
    DWORD Milliseconds() override;

    std::string LineName(std::uint16_t portNumber) override;
    void TraceTo(THandle device, TWireTrace* trace) override;

protected:
    const TNetAddress& Address() const { return FAddress; }
    // True while a connection is made after an earlier one: the port is
    // opening its device again, with the settings it had.
    bool Reconnecting() const { return FReconnecting; }
    virtual std::unique_ptr<TNetCodec> MakeCodec();
    // After connecting, before the port uses the device: raises the
    // serial layer's error when the server will not do.
    virtual void Begin(TNetDevice& device);
    static TNetDevice* Device(THandle handle);
    // A line for the port's trace, written before the next bytes go out:
    // the port's own header comes first.
    void Note(const std::string& text);

private:
    void FlushNotes();

    const TNetAddress FAddress;
    TRecursiveLock FLock;
    bool FConnectedBefore = false;
    bool FReconnecting = false;
    std::vector<std::string> FNotes;
    TWireTrace* FTrace = nullptr;
};

}  // namespace qmx::net
