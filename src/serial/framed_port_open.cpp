#include <string>
#include <utility>

#include "serial/framed_port.h"
#include "serial/kalvor_port.h"

namespace qmx {
namespace {

// The library's port on a comm layer of its own, which goes with it.
class TOwnLineFramedPort final : public TFramedPort {
public:
    TOwnLineFramedPort(std::unique_ptr<TCommApi> comm, std::uint8_t portNumber, const std::string& tracePath)
        : FComm(std::move(comm)), FPort(std::make_unique<TKalvorComPort>(portNumber, *FComm, tracePath)) {}
    // The port, declared after the comm layer it runs on, goes first.

    void SetOnCheckAnswer(TAnswerCheck check) override { FPort->SetOnCheckAnswer(check); }
    std::int32_t Transact(std::uint8_t address, const std::uint8_t* frame, std::uint8_t frameLength,
                             std::uint8_t* answer, std::uint8_t expectedLength, std::uint8_t further,
                             std::int32_t answerAddress) override {
        return FPort->Transact(address, frame, frameLength, answer, expectedLength, further, answerAddress);
    }
    std::uint8_t GetLinkState() override { return FPort->GetLinkState(); }
    bool DevicePresent() override { return FPort->DevicePresent(); }
    std::optional<ESerialIO> WhyAbsent() override { return FPort->WhyAbsent(); }
    const TExchangeRecord& LastExchange() const override { return FPort->LastExchange(); }
    void NoteCheckVerdict(TAttemptVerdict verdict) override { FPort->NoteCheckVerdict(verdict); }
    void SetFastAnswers(bool on, std::chrono::milliseconds pause) override { FPort->SetFastAnswers(on, pause); }
    void WatchAttempts(TAttemptWatch watch) override { FPort->WatchAttempts(std::move(watch)); }

private:
    const std::unique_ptr<TCommApi> FComm;
    const std::unique_ptr<TKalvorComPort> FPort;
};

}  // namespace

std::unique_ptr<TFramedPort> OpenFramedPort(std::uint8_t portNumber) {
    return std::make_unique<TKalvorComPort>(portNumber);
}

std::unique_ptr<TFramedPort> OpenTracedFramedPort(std::uint8_t portNumber, const std::string& tracePath) {
    return std::make_unique<TKalvorComPort>(portNumber, PlatformComm(), tracePath);
}

std::unique_ptr<TFramedPort> OpenFramedPortOn(std::unique_ptr<TCommApi> comm, std::uint8_t portNumber,
                                              const std::string& tracePath) {
    return std::make_unique<TOwnLineFramedPort>(std::move(comm), portNumber, tracePath);
}

}  // namespace qmx
