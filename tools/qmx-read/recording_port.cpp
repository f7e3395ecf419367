#include "recording_port.h"

#include <utility>

namespace qmx::tools {

TRecordingPort::TRecordingPort(std::unique_ptr<TFramedPort> port, TRecordingPort*& made)
    : FPort(std::move(port)), FMade(made) {
    FMade = this;
}

TRecordingPort::~TRecordingPort() {
    if (FMade == this) FMade = nullptr;
}

std::int32_t TRecordingPort::Transact(std::uint8_t address, const std::uint8_t* frame, std::uint8_t frameLength,
                                      std::uint8_t* answer, std::uint8_t expectedLength, std::uint8_t further,
                                      std::int32_t answerAddress) {
    // Kept however the transaction ends; one that awaited nothing made no attempt.
    struct TKeep {
        TRecordingPort& Port;
        ~TKeep() {
            if (!Port.FPort->LastExchange().Attempts.empty()) Port.FExchanges.push_back(Port.FPort->LastExchange());
        }
    } keep{*this};
    return FPort->Transact(address, frame, frameLength, answer, expectedLength, further, answerAddress);
}

std::vector<TExchangeRecord> TRecordingPort::TakeExchanges() { return std::exchange(FExchanges, {}); }

TPortOpener RecordingOpener(const net::TChosenDevice& device, TRecordingPort*& made) {
    return [device, &made](std::uint8_t portNumber) -> std::unique_ptr<TFramedPort> {
        return std::make_unique<TRecordingPort>(net::OpenChosenDevice(device, portNumber), made);
    };
}

}  // namespace qmx::tools
