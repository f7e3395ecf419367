#include "recording_port.h"

#include <utility>

#include "network_device.h"

namespace qmx::tools {

TRecordingPort::TRecordingPort(std::unique_ptr<TFramedPort> port, TRecordingPort*& made)
    : FPort(std::move(port)), FMade(made) {
    FPort->SetAttemptListener(this);
    FMade = this;
}

TRecordingPort::~TRecordingPort() {
    FPort->SetAttemptListener(nullptr);
    if (FMade == this) FMade = nullptr;
}

TExchangeStatus TRecordingPort::Transact(std::uint8_t address, const std::uint8_t* frame, std::uint8_t frameLength,
                                      std::uint8_t* answer, std::uint8_t expectedLength, std::uint8_t further,
                                      std::int32_t answerAddress) {
    // A request frame is STX, the query letter, two digits of the tank
    // number, ETX and the check byte.
    TRecordedExchange exchange;
    const auto number = frameLength >= 4 ? TankNumberOf(frame + 2) : std::nullopt;
    if (number) {
        exchange.Query = static_cast<TQuery>(frame[1]);
        exchange.Tank = static_cast<std::uint8_t>(*number - 1);
    }
    exchange.ExpectedLength = expectedLength;
    FExchanges.push_back(exchange);
    const TExchangeStatus result = FPort->Transact(address, frame, frameLength, answer, expectedLength, further, answerAddress);
    if (FExchanges.back().Attempts.empty()) FExchanges.pop_back();  // nothing awaited
    return result;
}

void TRecordingPort::AttemptEnded(const TAttemptReport& report) {
    if (FExchanges.empty()) return;
    FExchanges.back().Attempts.push_back(TRecordedAttempt{
        std::vector<std::uint8_t>(report.Bytes, report.Bytes + report.Length), report.BytesBeforeStx,
        report.Accepted, report.OtherAnswers,
        report.OtherAnswers == 0 ? std::string()
                                 : std::string(report.OtherRequest.begin(), report.OtherRequest.end())});
}

std::vector<TRecordedExchange> TRecordingPort::TakeExchanges() { return std::exchange(FExchanges, {}); }

TPortOpener RecordingOpener(const TChosenDevice& device, TRecordingPort*& made) {
    return [device, &made](std::uint8_t portNumber) -> std::unique_ptr<TFramedPort> {
        return std::make_unique<TRecordingPort>(OpenReaderPort(device, portNumber), made);
    };
}

}  // namespace qmx::tools
