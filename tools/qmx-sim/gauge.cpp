#include "gauge.h"

#include <algorithm>

#include <cmath>
#include <cstdio>

namespace qmx::sim {
namespace {

struct TFaultName {
    TFault Fault;
    const char* Name;
};

constexpr TFaultName kFaults[] = {
    {TFault::None, "none"},         {TFault::NoAnswer, "no-answer"}, {TFault::BadCheck, "bad-check"},
    {TFault::NoEtx, "no-etx"},      {TFault::ExtraBytes, "extra"},   {TFault::Noise, "noise"},
    {TFault::Short, "short"},       {TFault::Slow, "slow"},          {TFault::Late, "late"},
    {TFault::JustLate, "just-late"}, {TFault::Flood, "flood"},      {TFault::Junk, "junk"},
    {TFault::WrongTank, "wrong-tank"},
};

constexpr int kLateMs = 1200;
// Past the driver's one-second wait, and before the 70 ms that follow it
// are over: where an answer meant for one request can meet the next.
constexpr int kJustLateMs = 1035;
constexpr int kSlowGapMs = 15;
// A flood: STX and the echo ("L01"), zeros, then another answer.
constexpr std::size_t kFloodEchoLength = 4;
constexpr std::size_t kFloodZeros = 252;

std::string Field(long long value, int width) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*lld", width, value);
    return text;
}

long long Power10(int exponent) {
    long long power = 1;
    while (exponent-- > 0) power *= 10;
    return power;
}

struct TColumnLimits {
    long long Least, Most;
    double Unit;
};

TColumnLimits LimitsOf(TAnswerColumns columns) {
    return {-(Power10(columns.Width - 1) - 1), Power10(columns.Width) - 1, static_cast<double>(Power10(columns.Decimals))};
}

// The value in its columns; a level drifting past what they hold stops at
// their end, as a gauge's reading would, never wraps into another value.
std::string InField(double value, TAnswerColumns columns) {
    const auto limits = LimitsOf(columns);
    const double scaled = std::round(value * limits.Unit);
    const long long units = scaled >= static_cast<double>(limits.Most)    ? limits.Most
                            : scaled <= static_cast<double>(limits.Least) ? limits.Least
                                                                          : static_cast<long long>(scaled);
    return Field(units, columns.Width);
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<long long> InColumns(double value, TAnswerColumns columns, std::string* range) {
    const auto [least, most, unit] = LimitsOf(columns);
    if (range != nullptr) {
        char text[64];
        std::snprintf(text, sizeof text, "%.*f to %.*f", columns.Decimals, static_cast<double>(least) / unit,
                      columns.Decimals, static_cast<double>(most) / unit);
        *range = text;
    }
    const double scaled = std::round(value * unit);
    if (!(scaled >= static_cast<double>(least) && scaled <= static_cast<double>(most))) return std::nullopt;
    return static_cast<long long>(scaled);
}

std::optional<TFault> ParseFault(const std::string& name) {
    for (const auto& entry : kFaults)
        if (name == entry.Name) return entry.Fault;
    return std::nullopt;
}

const char* FaultName(TFault fault) {
    for (const auto& entry : kFaults)
        if (entry.Fault == fault) return entry.Name;
    return "?";
}

std::optional<std::vector<TFault>> ParseFaultList(const std::string& text) {
    std::vector<TFault> faults;
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = text.find(',', at);
        const auto fault = ParseFault(Trim(text.substr(at, comma == std::string::npos ? comma : comma - at)));
        if (!fault) return std::nullopt;
        faults.push_back(*fault);
        if (comma == std::string::npos) return faults;
        at = comma + 1;
    }
}

std::string FaultNames() {
    std::string names;
    for (const auto& entry : kFaults) names += (names.empty() ? "" : ", ") + std::string(entry.Name);
    return names;
}

std::vector<std::uint8_t> MakeFrame(const std::string& payload) {
    // Sized at once: growing a one-byte vector by a range trips a false
    // bounds warning of the i686 compiler.
    std::vector<std::uint8_t> frame(payload.size() + 2);
    frame.front() = 0x02;
    std::copy(payload.begin(), payload.end(), frame.begin() + 1);
    frame.back() = 0x03;
    std::uint8_t check = 0;
    for (auto byte : frame) check ^= byte;
    frame.push_back(check);
    return frame;
}

TGauge::TGauge() {
    // A station: petrol 92 and 95 in the large tanks, diesel, a little 98.
    struct TProduct {
        const char* Name;
        double Density;
    };
    const TProduct products[] = {{"AI-92", 0.7450}, {"AI-95", 0.7520}, {"DT", 0.8350}, {"AI-98", 0.7600}};
    for (int i = 0; i < kTankCount; ++i) {
        TTank tank;
        const auto& product = products[i % 4];
        tank.Product = product.Name;
        tank.Level = 800.0 + std::fmod(i * 437.3, 1900.0);
        tank.LevelDrift = -(3.0 + (i % 5) * 1.5);  // mm an hour, as fuel is sold
        tank.SecondValue = (i % 3) * 4.25;
        tank.Temperature = 8.0 + (i % 7) * 1.3 - (i % 2) * 10.0;
        tank.Density = product.Density + (i % 3) * 0.0011;
        FTanks.push_back(tank);
    }
    FScripts.resize(kTankCount);
    FMotions.resize(kTankCount);
    FSaid.resize(kTankCount);
}

void TGauge::SetMotion(int tank, TTankMotion motion) {
    FMotions.at(static_cast<std::size_t>(tank - 1)) = std::move(motion);
}

TTankState TGauge::StateAt(int tank, double elapsedSeconds) const {
    if (const auto& motion = FMotions.at(static_cast<std::size_t>(tank - 1))) return motion->At(elapsedSeconds);
    const TTank& t = FTanks.at(static_cast<std::size_t>(tank - 1));
    TTankState state;
    state.Level = LevelAt(tank, elapsedSeconds);
    state.Temperature = t.Temperature;
    state.Density = t.Density;
    return state;
}

void TGauge::NoteStops(int tank, const TTankState& state, double elapsedSeconds) {
    enum : unsigned { kEmpty = 1, kFull = 2, kTemperature = 4 };
    const auto say = [&](unsigned stop, const std::string& what, const std::string& why) {
        unsigned& said = FSaid[static_cast<std::size_t>(tank - 1)];
        if ((said & stop) != 0 || !FNote) return;
        said |= stop;
        char when[32];
        std::snprintf(when, sizeof when, " %.2f h in: ", elapsedSeconds / 3600.0);
        FNote("tank " + std::to_string(tank) + what + when + why);
    };
    if (state.End == TTankEnd::Empty)
        say(kEmpty, " ran empty", "its level stays at the bottom while the litres played fall short");
    if (state.End == TTankEnd::Full)
        say(kFull, " ran full", "its level stays at the top while the litres played exceed it");
    if (!state.TemperatureHeld.empty()) say(kTemperature, "'s temperature stops drifting", state.TemperatureHeld);
}

double TGauge::LevelAt(int tank, double elapsedSeconds) const {
    const TTank& t = FTanks.at(static_cast<std::size_t>(tank - 1));
    return t.Level + t.LevelDrift * elapsedSeconds / 3600.0;
}

void TGauge::SetFaultAll(TFault fault) {
    for (auto& tank : FTanks) tank.Fault = fault;
}

void TGauge::SetScript(int tank, std::vector<TFault> faults) {
    FScripts.at(static_cast<std::size_t>(tank - 1)) = TScript{std::move(faults), 0};
}

void TGauge::AddFaultNext(TFault fault, int count) {
    if (count > 0) FNextFaults.emplace_back(fault, count);
}

std::vector<std::uint8_t> TGauge::LevelAnswer(int tank, const TTankState& state, bool junk) const {
    const TTank& t = FTanks.at(static_cast<std::size_t>(tank - 1));
    // Positions 1-7: letter, tank, status; 8-14 level; 15-21 second value;
    // 22-35 volume; 36-39 temperature; 40 spare.
    std::string payload = "L" + Field(tank, 2) + "0000";
    payload += junk ? "LEVEL??" : InField(state.Level, kLevelColumns);
    payload += junk ? "AUX ???" : InField(t.SecondValue, kSecondValueColumns);
    payload += InField(state.GrossLitres.value_or(state.Level * 18.5), TAnswerColumns{14, 0});
    payload += junk ? "T??C" : InField(state.Temperature, kTemperatureColumns);
    payload += "0";
    return MakeFrame(payload);
}

std::vector<std::uint8_t> TGauge::DensityAnswer(int tank, const TTankState& state, bool junk) const {
    // Positions 1-23: letter, tank, spare; 24-31 density; 32-42 spare.
    std::string payload = "G" + Field(tank, 2) + std::string(20, '0');
    payload += junk ? "DENSITY?" : InField(state.Density, kDensityColumns);
    payload += std::string(11, '0');
    return MakeFrame(payload);
}

std::optional<TReply> TGauge::Answer(const std::vector<std::uint8_t>& request, double elapsedSeconds) {
    // A request is STX, letter, two digits, ETX and a check byte that makes
    // the XOR zero; the gauge ignores anything else.
    if (request.size() != 6 || request[0] != 0x02 || request[4] != 0x03) return std::nullopt;
    std::uint8_t sum = 0;
    for (auto byte : request) sum ^= byte;
    if (sum != 0) return std::nullopt;
    const char letter = static_cast<char>(request[1]);
    if (letter != 'L' && letter != 'G') return std::nullopt;
    if (request[2] < '0' || request[2] > '9' || request[3] < '0' || request[3] > '9') return std::nullopt;
    const int tank = (request[2] - '0') * 10 + (request[3] - '0');
    if (tank < 1 || tank > kTankCount) return std::nullopt;

    TFault fault = FTanks[static_cast<std::size_t>(tank - 1)].Fault;
    if (TScript& script = FScripts[static_cast<std::size_t>(tank - 1)]; !script.Faults.empty()) {
        fault = script.Faults[script.Next];
        script.Next = (script.Next + 1) % script.Faults.size();
    }
    if (!FNextFaults.empty()) {
        auto& [next, left] = FNextFaults.front();
        fault = next;
        if (--left == 0) FNextFaults.pop_front();
    }
    const bool junk = fault == TFault::Junk;
    // A gauge that mixes its tanks up answers for the next one.
    const int answering = fault == TFault::WrongTank ? tank % kTankCount + 1 : tank;
    const TTankState state = StateAt(answering, elapsedSeconds);
    NoteStops(answering, state, elapsedSeconds);
    TReply reply;
    reply.Bytes = letter == 'L' ? LevelAnswer(answering, state, junk) : DensityAnswer(answering, state, junk);
    auto& bytes = reply.Bytes;
    switch (fault) {
        case TFault::NoAnswer: return std::nullopt;
        case TFault::BadCheck: bytes.back() ^= 0x01; break;
        case TFault::NoEtx:
            bytes[bytes.size() - 2] = 0x04;
            bytes.back() ^= 0x03 ^ 0x04;  // only the ETX is wrong
            break;
        case TFault::ExtraBytes: bytes.push_back('\r'); bytes.push_back('\n'); break;
        case TFault::Noise: bytes.insert(bytes.begin(), {0x7F, 0x55, 'x'}); break;
        case TFault::Short: bytes.resize(bytes.size() - 5); break;
        case TFault::Slow: reply.ByteGapMs = kSlowGapMs; break;
        case TFault::Late: reply.DelayMs = kLateMs; break;
        case TFault::JustLate: reply.DelayMs = kJustLateMs; break;
        case TFault::Flood: {
            // Past the longest frame, and ending in a frame that would pass
            // the check: the next tank's whole answer.
            const int next = tank % kTankCount + 1;
            const TTankState nextState = StateAt(next, elapsedSeconds);
            auto tail = letter == 'L' ? LevelAnswer(next, nextState, false) : DensityAnswer(next, nextState, false);
            bytes.resize(kFloodEchoLength);
            bytes.resize(kFloodEchoLength + kFloodZeros, '0');
            bytes.insert(bytes.end(), tail.begin(), tail.end());
            break;
        }
        default: break;
    }
    return reply;
}

std::vector<std::vector<std::uint8_t>> TRequestParser::Feed(const std::uint8_t* data, std::size_t count) {
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t byte = data[i];
        if (!FInFrame) {
            if (byte == 0x02) {
                FFrame.assign(1, byte);
                FInFrame = true;
                FAfterEtx = false;
            }
            continue;
        }
        FFrame.push_back(byte);
        if (FAfterEtx) {
            frames.push_back(FFrame);
            FInFrame = false;
        } else if (byte == 0x03) {
            FAfterEtx = true;
        } else if (FFrame.size() > 260) {
            FInFrame = false;  // no ETX in sight: not a request
        }
    }
    return frames;
}

}  // namespace qmx::sim
