#pragma once

// The comm layer of an rfc2217:// line: the Telnet COM-PORT option sets the
// device server's serial port as SetCommState, EscapeCommFunction and
// PurgeComm ask, and every setting's answer is checked. A server that does
// not take the gauge's line refuses the open, naming what it answered.

#include <cstdint>
#include <optional>

#include "netline/net_comm.h"
#include "netline/rfc2217_client.h"
#include "serial/serial_errors.h"

namespace qmx::net {

// How long the server has to answer the option and each setting, unless
// the port's name says otherwise (timeout=SECONDS).
constexpr std::chrono::milliseconds kAnswerTimeout{3000};
// How long the first control request waits for its answer: servers that
// never acknowledge control exist (ser2net on a device without modem
// lines), so silence is taken as done, and not waited for again.
constexpr std::chrono::milliseconds kControlAnswerTimeout{1000};

class TRfc2217Comm final : public TNetComm {
public:
    using TNetComm::TNetComm;

    BOOL SetCommState(THandle device, TDcb* dcb) override;
    void ConfirmLineTaken() override;
    BOOL PurgeComm(THandle device, DWORD flags) override;
    BOOL EscapeCommFunction(THandle device, DWORD function) override;

protected:
    std::unique_ptr<TNetCodec> MakeCodec() override;
    void Begin(TNetDevice& device) override;

private:
    static TRfc2217Client& Client(TNetDevice& device);
    std::chrono::milliseconds AnswerTimeout() const;
    // Sends the settings of `dcb` the server has not yet taken and checks
    // each answer.
    void SetLine(TNetDevice& device, const TDcb& dcb);
    // One SET-CONTROL; tolerated without an answer, refused on another one.
    void SetControl(TNetDevice& device, std::uint8_t value);

    // What the server answered last, per setting; nothing for a new
    // connection, whose line is unknown.
    std::optional<std::uint32_t> FTaken[rfc2217::kCommandCount];
    // Per setting, the answer that was not what was asked, while nothing
    // asked later has put it right. The port's first opening passes through
    // the driver's own defaults (5760 baud 8N1) before the gauge's line, and
    // a server need not take those: only what stands once the port is set
    // up counts.
    std::optional<ESerialIO> FRefused[rfc2217::kCommandCount];
    std::optional<std::uint8_t> FFlow;
    std::optional<std::uint8_t> FRts;
    bool FControlSilent = false;
};

}  // namespace qmx::net
