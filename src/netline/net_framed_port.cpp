#include "netline/net_framed_port.h"

#include "netline/net_comm.h"
#include "serial/kalvor_port.h"

namespace qmx::net {
namespace {

class TNetworkFramedPort final : public TFramedPort {
public:
    TNetworkFramedPort(const TNetAddress& address, std::uint8_t portNumber) : FComm(TNetComm::For(address)) {
        try {
            FPort = std::make_unique<TKalvorComPort>(portNumber, *FComm);
        } catch (const ESerialIO&) {
            if (const std::string problem = FComm->Problem(); !problem.empty()) throw ESerialIO(problem);
            throw;
        }
        // The gauge's line is set now: a server that would not take it is
        // refused before anything is read.
        if (const std::string refusal = FComm->Refusal(); !refusal.empty()) {
            FPort.reset();
            throw ELineRefused(refusal);
        }
    }
    // The port goes before the comm layer it runs on.
    ~TNetworkFramedPort() override { FPort.reset(); }

    void SetOnCheckAnswer(TAnswerCheck check) override { FPort->SetOnCheckAnswer(check); }
    TExchangeStatus Transact(std::uint8_t address, const std::uint8_t* frame, std::uint8_t frameLength,
                             std::uint8_t* answer, std::uint8_t expectedLength, std::uint8_t further,
                             std::int32_t answerAddress) override {
        return FPort->Transact(address, frame, frameLength, answer, expectedLength, further, answerAddress);
    }
    std::uint8_t GetLinkState() override { return FPort->GetLinkState(); }
    bool DevicePresent() override { return FPort->DevicePresent(); }
    void SetAttemptListener(TAttemptListener* listener) override { FPort->SetAttemptListener(listener); }
    void SetFastAnswers(bool on, std::chrono::milliseconds pause) override { FPort->SetFastAnswers(on, pause); }

private:
    const std::unique_ptr<TNetComm> FComm;
    std::unique_ptr<TKalvorComPort> FPort;
};

}  // namespace

std::unique_ptr<TFramedPort> OpenNetworkFramedPort(const TNetAddress& address, std::uint8_t portNumber) {
    return std::make_unique<TNetworkFramedPort>(address, portNumber);
}

}  // namespace qmx::net
