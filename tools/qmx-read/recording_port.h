#pragma once

// The reader's own port opener: the library's framed port, wrapped so that
// the reader sees what the silo does not show a host: each answer the port
// accepted, with the request it answered, and whether the device is there.

#include <cstdint>
#include <memory>
#include <vector>

#include "protocol/queries.h"
#include "serial/framed_port.h"

namespace qmx::tools {

struct TAcceptedAnswer {
    TQuery Query = TQuery::Level;  // the request's
    std::uint8_t Tank = 0;         // the request's tank index, 0 to 32
    std::vector<std::uint8_t> Bytes;
};

class TRecordingPort final : public TFramedPort {
public:
    explicit TRecordingPort(std::unique_ptr<TFramedPort> port);
    ~TRecordingPort() override;
    TRecordingPort(const TRecordingPort&) = delete;
    TRecordingPort& operator=(const TRecordingPort&) = delete;

    void SetOnCheckAnswer(TAnswerCheck check) override { FPort->SetOnCheckAnswer(check); }
    TExchangeStatus Transact(std::uint8_t address, const std::uint8_t* frame, std::uint8_t frameLength,
                          std::uint8_t* answer, std::uint8_t expectedLength, std::uint8_t further,
                          std::int32_t answerAddress) override;
    std::uint8_t GetLinkState() override { return FPort->GetLinkState(); }
    bool DevicePresent() override { return FPort->DevicePresent(); }

    // The answers accepted since the last call, oldest first.
    std::vector<TAcceptedAnswer> TakeAccepted();

    // The port the opener below made last, while it lives: a TPortOpener is
    // a plain function, and the reader has one silo.
    static TRecordingPort* Current() { return FCurrent; }

private:
    std::unique_ptr<TFramedPort> FPort;
    std::vector<TAcceptedAnswer> FAccepted;
    static inline TRecordingPort* FCurrent = nullptr;
};

// A TPortOpener: the library's framed port on COM`portNumber`, recorded.
std::unique_ptr<TFramedPort> OpenRecordingPort(std::uint8_t portNumber);

}  // namespace qmx::tools
