// What the reader tells a watcher as a round goes, when it gets nothing
// valid, and what a service's status shows after each round.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "final_hint.h"
#include "progress.h"
#include "round_status.h"

namespace qmx::tools {
namespace {

using V = TAttemptVerdict;

TTankReading Failed(int tank, V reason, int attempts = 3) {
    TTankReading reading;
    reading.Tank = tank;
    reading.Reason = reason;
    reading.Attempts = attempts;
    return reading;
}

TTankReading Read(int tank) {
    TTankReading reading = Failed(tank, V::Valid, 0);
    reading.Level = 1234.5;
    reading.Valid = true;
    return reading;
}

TEST(ReaderHints, TheRoundEndsWithTheHintOfTheFaultThatFailedMostTanks) {
    const std::string silent = "qmx-read: no valid answer from /dev/ttyUSB0: is the gauge connected, powered and set to "
                               "this line?";
    const std::string checkByte = std::string("rejected by the check byte: ") + VerdictHint(V::CheckByte);
    struct TCase {
        const char* Name;
        std::vector<TTankReading> Readings;
        std::string Said;
    };
    const TCase cases[] = {
        {"one tank valid", {Failed(1, V::CheckByte), Read(2)}, ""},
        {"silence", {Failed(1, V::NoAnswer), Failed(2, V::NoAnswer)}, silent},
        {"the device gone: no attempt", {Failed(1, V::NoAnswer, 0)}, silent},
        {"one check byte", {Failed(1, V::CheckByte)}, "qmx-read: no valid answer from /dev/ttyUSB0: 1 tank " + checkByte},
        {"answers outrank silence",
         {Failed(1, V::NoAnswer), Failed(2, V::NoAnswer), Failed(3, V::CheckByte)},
         "qmx-read: no valid answer from /dev/ttyUSB0: 1 tank " + checkByte},
        {"the most tanks decide",
         {Failed(1, V::OtherRequest), Failed(2, V::CheckByte), Failed(3, V::CheckByte), Failed(4, V::CheckByte)},
         "qmx-read: no valid answer from /dev/ttyUSB0: 3 tanks " + checkByte},
        {"of as many, the first met",
         {Failed(1, V::WrongLength), Failed(2, V::NoEtx), Failed(3, V::NoEtx), Failed(4, V::WrongLength)},
         std::string("qmx-read: no valid answer from /dev/ttyUSB0: 2 tanks with answers of the wrong length: ") +
             VerdictHint(V::WrongLength)},
        {"another host",
         {Failed(1, V::OtherRequest)},
         "qmx-read: no valid answer from /dev/ttyUSB0: 1 tank answered only for other requests: answers came for "
         "requests this reader did not send: is another host polling the same line, or does the gauge mix its tanks "
         "up?"},
    };
    for (const auto& c : cases) EXPECT_EQ(FinalHint(c.Readings, "/dev/ttyUSB0"), c.Said) << c.Name;
}

TEST(ReaderHints, TheServiceStatusNamesTheRoundItsValidTanksAndWhatFailedMost) {
    struct TCase {
        std::vector<TTankReading> Readings;
        bool DevicePresent;
        const char* Said;  // after "round 42 ended 10:14:03Z: "
    };
    const TCase cases[] = {
        {{Read(1), Read(2), Read(3)}, true, "3 of 3 tanks valid"},
        {{Failed(1, V::NoAnswer), Read(2)}, true, "1 of 2 tanks valid, 1 with no answer"},
        {{Failed(1, V::NoAnswer), Failed(2, V::CheckByte), Failed(3, V::CheckByte), Read(4)},
         true,
         "1 of 4 tanks valid, 2 rejected by the check byte"},
        {{Failed(1, V::NoAnswer, 0), Failed(2, V::NoAnswer, 0)}, false, "0 of 2 tanks valid, the device has gone"},
    };
    for (const auto& c : cases) {
        TRoundFigures round;
        round.Rounds = 42;
        round.EndedAt = 1796724843.75;  // 2026-12-08T10:14:03.750Z
        round.DevicePresent = c.DevicePresent;
        EXPECT_EQ(RoundStatus(c.Readings, round), std::string("round 42 ended 10:14:03Z: ") + c.Said);
    }
}

TEST(ReaderHints, TheFirstFailedTankSaysAtOnceWhatToLookAt) {
    struct TCase {
        TTankReading Reading;
        std::string Said;
    };
    const TCase cases[] = {
        {Failed(1, V::NoAnswer), "qmx-read: no tank has answered yet: is the gauge connected, powered and set to this "
                                 "line?"},
        {Failed(5, V::NoStx), std::string("qmx-read: no tank has answered validly yet: tank 5 with bytes but no STX: ") +
                                  VerdictHint(V::NoStx)},
        {Failed(2, V::InvalidValue),
         std::string("qmx-read: no tank has answered validly yet: tank 2 with a value the gauge cannot measure: ") +
             VerdictHint(V::InvalidValue)},
    };
    for (const auto& c : cases) EXPECT_EQ(NoAnswerYetNote(c.Reading), c.Said);
}

TEST(ReaderHints, TheProgressLineShowsTheAttemptAndTheTime) {
    using std::chrono::seconds;
    struct TCase {
        int Tank;
        std::size_t Index, Count, Attempt;
        seconds Elapsed;
        std::optional<seconds> Left;
        const char* Line;
    };
    const TCase cases[] = {
        {1, 1, 2, 1, seconds(0), std::nullopt, "reading tank 1 (1 of 2), attempt 1 of 3, 0:00 elapsed..."},
        {3, 3, 33, 2, seconds(7), seconds(100),
         "reading tank 3 (3 of 33), attempt 2 of 3, 0:07 elapsed, about 1:40 left..."},
        {33, 33, 33, 3, seconds(3723), seconds(59),
         "reading tank 33 (33 of 33), attempt 3 of 3, 1:02:03 elapsed, about 0:59 left..."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressLine(c.Tank, c.Index, c.Count, c.Attempt, c.Elapsed, c.Left), c.Line);
}

TEST(ReaderHints, TheTimeLeftIsTheMeanTimeOfTheTanksRead) {
    using std::chrono::duration;
    struct TCase {
        std::size_t Done, Count;
        double ElapsedDone, InTank;
        std::optional<long> Left;
    };
    const TCase cases[] = {
        {0, 33, 0, 2.0, std::nullopt},  // nothing to go by yet
        {2, 33, 6.2, 0, 97},            // 3.1 s a tank, 31 to go: 96.1, rounded up
        {2, 33, 6.0, 1.5, 92},          // less what the tank under way took
        {32, 33, 96.0, 5.0, 1},         // a slow last tank is still under way
    };
    for (const auto& c : cases) {
        const auto left = TimeLeft(c.Done, c.Count, duration<double>(c.ElapsedDone), duration<double>(c.InTank));
        EXPECT_EQ(left ? std::optional<long>(left->count()) : std::nullopt, c.Left) << c.Done;
    }
}

}  // namespace
}  // namespace qmx::tools
