// Why an attempt failed, told from the bytes alone.

#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "protocol/attempt_verdict.h"
#include "protocol/exchange_record.h"
#include "protocol/tank_reading.h"
#include "support/frames.h"

namespace qmx {
namespace {

using test::DensityAnswer;
using test::LevelAnswer;

std::vector<std::uint8_t> Changed(std::vector<std::uint8_t> bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}

TEST(AttemptVerdict, EachLineBehaviourHasItsReason) {
    const auto level = LevelAnswer("0012345", "0000350", "0155");
    const auto density = DensityAnswer("00835000");
    auto longer = level;
    longer.insert(longer.end(), {'x', 'y'});
    struct TCase {
        const char* Name;
        TQuery Query;
        std::vector<std::uint8_t> Bytes;
        std::size_t Expected;
        std::size_t BeforeStx;
        TAttemptVerdict Verdict;
        std::string Detail;
        std::size_t OtherAnswers = 0;  // dropped by the port
    };
    const TCase cases[] = {
        {"good level", TQuery::Level, level, 43, 0, TAttemptVerdict::Valid, ""},
        {"good density after noise", TQuery::Density, density, 45, 5, TAttemptVerdict::Valid, ""},
        {"silence", TQuery::Level, {}, 43, 0, TAttemptVerdict::NoAnswer, ""},
        {"noise without STX", TQuery::Level, {}, 43, 7, TAttemptVerdict::NoStx, ""},
        {"cut short", TQuery::Level, std::vector<std::uint8_t>(level.begin(), level.begin() + 20), 43, 0,
         TAttemptVerdict::WrongLength, ""},
        {"bytes after the frame", TQuery::Level, longer, 43, 0, TAttemptVerdict::WrongLength, ""},
        {"a level answer to a density request", TQuery::Density, level, 45, 0, TAttemptVerdict::WrongLength, ""},
        {"no ETX", TQuery::Level, Changed(level, 41, '0'), 43, 0, TAttemptVerdict::NoEtx, ""},
        {"check byte", TQuery::Level, Changed(level, 42, static_cast<std::uint8_t>(level[42] ^ 1)), 43, 0,
         TAttemptVerdict::CheckByte, ""},
        {"one payload byte changed", TQuery::Density, Changed(density, 30, '9'), 45, 0, TAttemptVerdict::CheckByte, ""},
        {"negative level", TQuery::Level, LevelAnswer("-000150", "0000350", "0155"), 43, 0, TAttemptVerdict::InvalidValue,
         "negative level"},
        {"level of zero", TQuery::Level, LevelAnswer("0000000", "0000350", "0155"), 43, 0, TAttemptVerdict::Valid, ""},
        {"the coldest a field can say", TQuery::Level, LevelAnswer("0012345", "0000350", "-999"), 43, 0,
         TAttemptVerdict::Valid, ""},
        {"second value of -1", TQuery::Level, LevelAnswer("0012345", "-000100", "0155"), 43, 0,
         TAttemptVerdict::InvalidValue, "second value at or below -1.00"},
        {"second value of -0.60", TQuery::Level, LevelAnswer("0012345", "-000060", "0155"), 43, 0, TAttemptVerdict::Valid,
         ""},
        {"level field not a number reads its default", TQuery::Level, LevelAnswer("       ", "0000350", "0155"), 43, 0,
         TAttemptVerdict::Valid, ""},
        {"density of zero", TQuery::Density, DensityAnswer("00000000"), 45, 0, TAttemptVerdict::InvalidValue,
         "density not above zero"},
        {"only another request's answer", TQuery::Level, {}, 43, 0, TAttemptVerdict::OtherRequest, "", 1},
        {"another request's answer among noise", TQuery::Level, {}, 43, 9, TAttemptVerdict::OtherRequest, "", 2},
        {"own answer after another's", TQuery::Level, level, 43, 0, TAttemptVerdict::Valid, "", 1},
        {"own broken answer after another's", TQuery::Level, Changed(level, 41, '0'), 43, 0, TAttemptVerdict::NoEtx,
         "", 1},
    };
    for (const auto& c : cases) {
        // The attempt judged as a listener judges it, then read as a tank's
        // reading takes it: a sound frame may still hold a refused value.
        TExchangeRecord record;
        const TPayload payload = QueryPayload(c.Query, 0);
        record.Begin(payload.data(), payload.size(), static_cast<std::uint8_t>(c.Expected));
        TAttemptRecord& attempt = record.Attempts.emplace_back();
        attempt.Answer = c.Bytes;
        attempt.Verdict = JudgeAttempt(c.Bytes.data(), c.Bytes.size(), c.Expected, c.BeforeStx, c.OtherAnswers);
        TTankReading reading;
        NoteExchange(record, reading, true);
        EXPECT_EQ(reading.Reason, c.Verdict) << c.Name << ": " << VerdictText(reading.Reason);
        EXPECT_EQ(reading.ReasonDetail, c.Detail) << c.Name;
    }
}

// A host's block may show the check more answers than the port tries: the
// last ones are kept in place, and those let go still count.
TEST(AttemptVerdict, AnExchangeKeepsItsLastAttemptsAndCountsThemAll) {
    TExchangeRecord record;
    for (auto verdict : {TAttemptVerdict::NoAnswer, TAttemptVerdict::CheckByte, TAttemptVerdict::NoEtx,
                         TAttemptVerdict::Valid, TAttemptVerdict::CheckByte, TAttemptVerdict::Valid})
        record.Attempts.emplace_back().Verdict = verdict;
    EXPECT_EQ(record.Attempts.size(), kMaxAttempts);
    EXPECT_EQ(record.Attempts.Made(), 6u);
    EXPECT_EQ(record.FailedAttempts(), 4);
    EXPECT_EQ(record.Attempts.front().Verdict, TAttemptVerdict::Valid);
    EXPECT_TRUE(record.Accepted());
}

TEST(AttemptVerdict, TextsAndLabelsAreDistinct) {
    const TAttemptVerdict all[] = {TAttemptVerdict::Valid,       TAttemptVerdict::NoAnswer, TAttemptVerdict::NoStx,
                                   TAttemptVerdict::WrongLength, TAttemptVerdict::NoEtx,    TAttemptVerdict::CheckByte,
                                   TAttemptVerdict::InvalidValue, TAttemptVerdict::OtherRequest};
    std::set<std::string> texts, labels, outcomes, hints;
    for (auto verdict : all) {
        texts.insert(VerdictText(verdict));
        // Each fault its own suspects, as one lower-case line after "qmx-read: ".
        const std::string hint = VerdictHint(verdict), outcome = VerdictOutcome(verdict);
        outcomes.insert(outcome);
        hints.insert(hint);
        EXPECT_FALSE(outcome.empty()) << VerdictText(verdict);
        EXPECT_TRUE(!hint.empty() && std::islower(static_cast<unsigned char>(hint[0])) &&
                    hint.find('\n') == std::string::npos)
            << VerdictText(verdict) << ": " << hint;
        const std::string label = VerdictLabel(verdict);
        labels.insert(label);
        EXPECT_EQ(label.find_first_not_of("abcdefghijklmnopqrstuvwxyz_"), std::string::npos) << label;
    }
    EXPECT_EQ(texts.size(), std::size(all));
    EXPECT_EQ(labels.size(), std::size(all));
    EXPECT_EQ(outcomes.size(), std::size(all));
    EXPECT_EQ(hints.size(), std::size(all));
}

}  // namespace
}  // namespace qmx
