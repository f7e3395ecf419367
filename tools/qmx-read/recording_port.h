#pragma once

// The reader's own port opener: the library's framed port, wrapped so that
// the reader sees what the silo does not show a host: each exchange with
// its attempts and the bytes they got, and whether the device is there.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "protocol/queries.h"
#include "serial/attempt_listener.h"
#include "chosen_device.h"
#include "serial/framed_port.h"

namespace qmx::tools {

struct TRecordedAttempt {
    std::vector<std::uint8_t> Bytes;
    std::size_t BytesBeforeStx = 0;
    bool Accepted = false;
    std::size_t OtherAnswers = 0;
    std::string OtherRequest;  // what the last of them answered: "L04"
};

struct TRecordedExchange {
    TQuery Query = TQuery::Level;  // the request's
    std::uint8_t Tank = 0;         // the request's tank index, 0 to 32
    std::uint8_t ExpectedLength = 0;
    std::vector<TRecordedAttempt> Attempts;
    bool Accepted() const { return !Attempts.empty() && Attempts.back().Accepted; }
};

class TRecordingPort final : public TFramedPort, private TAttemptListener {
public:
    // `made` names this port while it lives.
    TRecordingPort(std::unique_ptr<TFramedPort> port, TRecordingPort*& made);
    ~TRecordingPort() override;
    TRecordingPort(const TRecordingPort&) = delete;
    TRecordingPort& operator=(const TRecordingPort&) = delete;

    void SetOnCheckAnswer(TAnswerCheck check) override { FPort->SetOnCheckAnswer(check); }
    TExchangeStatus Transact(std::uint8_t address, const std::uint8_t* frame, std::uint8_t frameLength,
                          std::uint8_t* answer, std::uint8_t expectedLength, std::uint8_t further,
                          std::int32_t answerAddress) override;
    std::uint8_t GetLinkState() override { return FPort->GetLinkState(); }
    bool DevicePresent() override { return FPort->DevicePresent(); }
    std::optional<ESerialIO> WhyAbsent() override { return FPort->WhyAbsent(); }
    void SetFastAnswers(bool on, std::chrono::milliseconds pause) override { FPort->SetFastAnswers(on, pause); }

    // The exchanges made since the last call, oldest first.
    std::vector<TRecordedExchange> TakeExchanges();

private:
    void AttemptEnded(const TAttemptReport& report) override;

    std::unique_ptr<TFramedPort> FPort;
    std::vector<TRecordedExchange> FExchanges;
    TRecordingPort*& FMade;
};

// The reader's opener: the library's framed port on COM`portNumber`, or on
// the network port `device` chose, recorded; `made` names the port it made
// while that lives, and must outlive the silo.
TPortOpener RecordingOpener(const TChosenDevice& device, TRecordingPort*& made);

}  // namespace qmx::tools
