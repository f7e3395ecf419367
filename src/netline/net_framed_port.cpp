#include "netline/net_framed_port.h"

#include "netline/net_comm.h"
#include "serial/kalvor_port.h"

namespace qmx::net {
namespace {

class TNetworkFramedPort final : public TFramedPort {
public:
    TNetworkFramedPort(const TNetAddress& address, std::uint8_t portNumber)
        : FComm(TNetComm::For(address)), FPort(std::make_unique<TKalvorComPort>(portNumber, *FComm)) {
        // The gauge's line is set now: a server that would not take it is
        // refused before anything is read (the port goes first).
        FComm->ConfirmLineTaken();
    }
    // The port, declared after the comm layer it runs on, goes first.

    void SetOnCheckAnswer(TAnswerCheck check) override { FPort->SetOnCheckAnswer(check); }
    TExchangeStatus Transact(std::uint8_t address, const std::uint8_t* frame, std::uint8_t frameLength,
                             std::uint8_t* answer, std::uint8_t expectedLength, std::uint8_t further,
                             std::int32_t answerAddress) override {
        return FPort->Transact(address, frame, frameLength, answer, expectedLength, further, answerAddress);
    }
    std::uint8_t GetLinkState() override { return FPort->GetLinkState(); }
    bool DevicePresent() override { return FPort->DevicePresent(); }
    std::optional<ESerialIO> WhyAbsent() override { return FPort->WhyAbsent(); }
    void SetAttemptListener(TAttemptListener* listener) override { FPort->SetAttemptListener(listener); }
    void SetFastAnswers(bool on, std::chrono::milliseconds pause) override { FPort->SetFastAnswers(on, pause); }

private:
    const std::unique_ptr<TNetComm> FComm;
    const std::unique_ptr<TKalvorComPort> FPort;
};

}  // namespace

std::unique_ptr<TFramedPort> OpenNetworkFramedPort(const TNetAddress& address, std::uint8_t portNumber) {
    return std::make_unique<TNetworkFramedPort>(address, portNumber);
}

}  // namespace qmx::net
