#include "recording_port.h"

#include <utility>

#include "serial/link_state.h"

namespace qmx::tools {

TRecordingPort::TRecordingPort(std::unique_ptr<TFramedPort> port) : FPort(std::move(port)) { FCurrent = this; }

TRecordingPort::~TRecordingPort() {
    if (FCurrent == this) FCurrent = nullptr;
}

TExchangeStatus TRecordingPort::Transact(std::uint8_t address, const std::uint8_t* frame, std::uint8_t frameLength,
                                      std::uint8_t* answer, std::uint8_t expectedLength, std::uint8_t further,
                                      std::int32_t answerAddress) {
    const TExchangeStatus result =
        FPort->Transact(address, frame, frameLength, answer, expectedLength, further, answerAddress);
    // A request frame is STX, the query letter, two digits of the tank
    // number, ETX and the check byte.
    const auto number = frameLength >= 4 ? TankNumberOf(frame + 2) : std::nullopt;
    if (expectedLength != 0 && number && FPort->GetLinkState() == kLinkValid) {
        FAccepted.push_back(TAcceptedAnswer{static_cast<TQuery>(frame[1]), static_cast<std::uint8_t>(*number - 1),
                                            std::vector<std::uint8_t>(answer, answer + expectedLength)});
    }
    return result;
}

std::vector<TAcceptedAnswer> TRecordingPort::TakeAccepted() { return std::exchange(FAccepted, {}); }

std::unique_ptr<TFramedPort> OpenRecordingPort(std::uint8_t portNumber) {
    return std::make_unique<TRecordingPort>(OpenFramedPort(portNumber));
}

}  // namespace qmx::tools
