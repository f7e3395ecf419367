#pragma once

// A host communication service for tests: records every call with its
// arguments, and answers as scripted. Like a real block it can judge the
// answers it hands back with the check the silo registered.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/host_service.h"

namespace qmx::test {

struct THostFailure : std::runtime_error {
    THostFailure() : std::runtime_error("host service failure") {}
};

class TRecordingHost final : public THostCommService {
public:
    // Scripted behaviour.
    std::int32_t ExchangeResult = 0;
    std::vector<std::uint8_t> Answer;  // written to the answer buffer by Exchange
    std::uint8_t LineState = 1;
    bool JudgeWithCheck = false;        // Exchange calls the registered check
    std::string ThrowFrom;              // the operation that throws, by name
    std::chrono::microseconds ExchangeDelay{0};

    std::vector<std::string> Calls() const {
        std::lock_guard lock(FMutex);
        return FCalls;
    }
    std::vector<std::uint8_t> LastFrame() const {
        std::lock_guard lock(FMutex);
        return FLastFrame;
    }
    TAnswerCheck Check() const { return FCheck; }
    TLineSetup LineSetup() const { return FSetup; }
    int MaxConcurrentExchanges() const { return FMaxConcurrent; }
    void ClearCalls() {
        std::lock_guard lock(FMutex);
        FCalls.clear();
    }

    std::uint8_t GetLineState(std::uint8_t lineAddress) override {
        Record("GetLineState(" + std::to_string(lineAddress) + ")");
        return LineState;
    }

    void SetAnswerCheck(std::uint8_t block, std::uint8_t address, TAnswerCheck check) override {
        Record("SetAnswerCheck(" + Join({block, address}) + ")");
        FCheck = check;
    }

    std::int32_t Exchange(std::uint8_t block, std::uint8_t address, std::uint8_t answerAddress,
                          const std::uint8_t* frame, std::uint8_t frameLength,
                          std::uint8_t* answer, std::uint8_t expectedLength,
                          std::int32_t reserved) override {
        const int inside = ++FInside;
        for (int seen = FMaxConcurrent; inside > seen && !FMaxConcurrent.compare_exchange_weak(seen, inside);) {
        }
        {
            std::lock_guard lock(FMutex);
            FLastFrame.assign(frame, frame + frameLength);
        }
        Record("Exchange(" +
               Join({block, address, answerAddress, frameLength, expectedLength, reserved}) + ")",
               false);
        if (ExchangeDelay.count() > 0) std::this_thread::sleep_for(ExchangeDelay);
        for (std::size_t i = 0; i < Answer.size(); ++i) answer[i] = Answer[i];
        if (JudgeWithCheck && FCheck) {
            auto received = static_cast<std::uint8_t>(Answer.size());
            FCheck(0x11, answer, 0, received, expectedLength);
        }
        --FInside;
        if (ThrowFrom == "Exchange") throw THostFailure();
        return ExchangeResult;
    }

    void SetLineParams(std::uint8_t line, std::int32_t p1, std::int32_t baud, std::int32_t p3,
                       std::int32_t p4, std::int32_t p5) override {
        Record("SetLineParams(" + Join({line, p1, baud, p3, p4, p5}) + ")");
    }

    void RegisterLineSetup(std::uint8_t line, TLineSetup setup) override {
        Record("RegisterLineSetup(" + std::to_string(line) + ")");
        FSetup = setup;
    }

    void ReportAnswerStatus(std::uint8_t block, std::uint8_t status) override {
        Record("ReportAnswerStatus(" + Join({block, status}) + ")");
    }

private:
    static std::string Join(std::initializer_list<std::int64_t> values) {
        std::string text;
        for (auto value : values) text += (text.empty() ? "" : ",") + std::to_string(value);
        return text;
    }

    // Records the call, then throws when the script says this one fails.
    void Record(const std::string& call, bool mayThrow = true) {
        {
            std::lock_guard lock(FMutex);
            FCalls.push_back(call);
        }
        if (mayThrow && !ThrowFrom.empty() && call.rfind(ThrowFrom + "(", 0) == 0)
            throw THostFailure();
    }

    mutable std::mutex FMutex;
    std::vector<std::string> FCalls;
    std::vector<std::uint8_t> FLastFrame;
    TAnswerCheck FCheck;
    TLineSetup FSetup;
    std::atomic<int> FInside{0};
    std::atomic<int> FMaxConcurrent{0};
};

}  // namespace qmx::test
