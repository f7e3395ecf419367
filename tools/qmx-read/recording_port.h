#pragma once

// The reader's own port opener: the library's framed port, wrapped so that
// the reader sees what the silo does not show a host: the record of each
// exchange, and whether the device is there.

#include <chrono>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "netline/chosen_device.h"
#include "protocol/exchange_record.h"
#include "serial/framed_port.h"

namespace qmx::tools {

class TRecordingPort final : public TFramedPort {
public:
    // `made` names this port while it lives.
    TRecordingPort(std::unique_ptr<TFramedPort> port, TRecordingPort*& made);
    ~TRecordingPort() override;
    TRecordingPort(const TRecordingPort&) = delete;
    TRecordingPort& operator=(const TRecordingPort&) = delete;

    void SetOnCheckAnswer(TAnswerCheck check) override { FPort->SetOnCheckAnswer(check); }
    std::int32_t Transact(std::uint8_t address, const std::uint8_t* frame, std::uint8_t frameLength,
                          std::uint8_t* answer, std::uint8_t expectedLength, std::uint8_t further,
                          std::int32_t answerAddress) override;
    std::uint8_t GetLinkState() override { return FPort->GetLinkState(); }
    const TExchangeRecord& LastExchange() const override { return FPort->LastExchange(); }
    void NoteCheckVerdict(TAttemptVerdict verdict) override { FPort->NoteCheckVerdict(verdict); }
    bool DevicePresent() override { return FPort->DevicePresent(); }
    std::optional<ESerialIO> WhyAbsent() override { return FPort->WhyAbsent(); }
    void SetFastAnswers(bool on, std::chrono::milliseconds pause) override { FPort->SetFastAnswers(on, pause); }
    void WatchAttempts(TAttemptWatch watch) override { FPort->WatchAttempts(std::move(watch)); }

    // The exchanges made since the last call, oldest first.
    std::vector<TExchangeRecord> TakeExchanges();

private:
    std::unique_ptr<TFramedPort> FPort;
    std::vector<TExchangeRecord> FExchanges;
    TRecordingPort*& FMade;
};

// The reader's opener: the library's framed port on COM`portNumber`, or on
// the network port `device` chose, recorded; `made` names the port it made
// while that lives, and must outlive the silo.
TPortOpener RecordingOpener(const net::TChosenDevice& device, TRecordingPort*& made);

}  // namespace qmx::tools
