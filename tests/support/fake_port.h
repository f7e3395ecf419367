#pragma once

// A framed port for tests that answers at once: it judges the scripted
// answer with the check the silo assigned, as the real port does after its
// wait, and records what it was asked to send.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "serial/framed_port.h"

namespace qmx::test {

class TFakePort;

// What the openers below have done; reset by each test that uses them.
struct TFakePorts {
    static inline std::vector<std::uint8_t> Opened;  // port numbers, in order
    static inline int Alive = 0;
    static inline TFakePort* Last = nullptr;
    static void Reset() {
        Opened.clear();
        Alive = 0;
        Last = nullptr;
    }
};

class TFakePort final : public TFramedPort {
public:
    std::vector<std::uint8_t> Answer;  // empty: the gauge is silent
    bool ThrowFromTransact = false;
    std::vector<std::uint8_t> LastFrame;
    std::vector<std::int64_t> LastArguments;  // address, length, expected, further, answer address
    int Transactions = 0;

    TFakePort() { ++TFakePorts::Alive; }
    ~TFakePort() override {
        --TFakePorts::Alive;
        if (TFakePorts::Last == this) TFakePorts::Last = nullptr;
    }

    void SetOnCheckAnswer(TAnswerCheck check) override { FCheck = check; }

    std::int32_t Transact(std::uint8_t address, const std::uint8_t* frame, std::uint8_t frameLength,
                          std::uint8_t* answer, std::uint8_t expectedLength, std::uint8_t further,
                          std::int32_t answerAddress) override {
        ++Transactions;
        LastFrame.assign(frame, frame + frameLength);
        LastArguments = {address, frameLength, expectedLength, further, answerAddress};
        FRecord.Begin(frame + 1, frameLength - 3u, expectedLength);
        if (ThrowFromTransact) throw std::runtime_error("port failure");
        TAttemptRecord& attempt = FRecord.Attempts.emplace_back();
        attempt.Answer = Answer;
        std::uint8_t received = static_cast<std::uint8_t>(Answer.size());
        FNoted = TAttemptVerdict::NoAnswer;
        const bool valid = !Answer.empty() && FCheck && FCheck(0x11, Answer.data(), 255, received, expectedLength);
        attempt.Verdict = valid ? TAttemptVerdict::Valid : FNoted;
        FLinkState = Answer.empty() ? 2 : valid ? 1 : 3;
        FRecord.LinkState = FLinkState;
        if (valid) std::copy_n(Answer.begin(), std::min<std::size_t>(expectedLength, received), answer);
        return 0;
    }

    std::uint8_t GetLinkState() override { return FLinkState; }
    const TExchangeRecord& LastExchange() const override { return FRecord; }
    void NoteCheckVerdict(TAttemptVerdict verdict) override { FNoted = verdict; }

private:
    TAnswerCheck FCheck;
    std::uint8_t FLinkState = 1;
    TExchangeRecord FRecord;
    TAttemptVerdict FNoted = TAttemptVerdict::NoAnswer;
};

inline std::unique_ptr<TFramedPort> OpenFakePort(std::uint8_t portNumber) {
    TFakePorts::Opened.push_back(portNumber);
    auto port = std::make_unique<TFakePort>();
    TFakePorts::Last = port.get();
    return port;
}

struct TPortOpenFailure : std::runtime_error {
    TPortOpenFailure() : std::runtime_error("cannot open") {}
};

inline std::unique_ptr<TFramedPort> FailToOpenPort(std::uint8_t portNumber) {
    TFakePorts::Opened.push_back(portNumber);
    throw TPortOpenFailure();
}

}  // namespace qmx::test
