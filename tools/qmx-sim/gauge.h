#pragma once

// A Quelmarox gauge as the line sees it: 33 tanks whose level, second value,
// temperature and density it reports in answer to L and G requests, and the
// faults a real line shows, switched on per tank or for the next requests.
//
// The simulator builds and parses its frames and reads its config file
// (station_config.h) with code of its own, not the driver's, on purpose: it is a second opinion on
// the wire format, so a mistake in the driver's framing or answer layout
// shows as a disagreement instead of being repeated on both ends.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "answerer.h"
#include "protocol/tank_reading.h"
#include "tank_motion.h"

namespace qmx::sim {

enum class TFault {
    None,
    NoAnswer,     // says nothing
    BadCheck,     // wrong check byte
    NoEtx,        // no ETX before the check byte
    ExtraBytes,   // two bytes more after the frame
    Noise,        // noise before the STX (the answer stays good)
    Short,        // the answer cut short
    Slow,         // byte by byte, within the second (stays good)
    Late,         // after the one-second wait
    JustLate,     // after the one-second wait, within the 70 ms that follow it
    Flood,        // 299 bytes: its opening, zeros, the next tank's whole answer
    Junk,         // fields that are not numbers
    WrongTank,    // the answer of the next tank, naming it
};

std::optional<TFault> ParseFault(const std::string& name);
const char* FaultName(TFault fault);
std::string FaultNames();

constexpr int kTankCount = kGaugeTanks;

struct TTank {
    std::string Product;
    double Level = 0;        // at start
    double LevelDrift = 0;   // per hour; products are sold, tanks refilled
    double SecondValue = 0;
    double Temperature = 0;
    double Density = 0;
    TFault Fault = TFault::None;
};

// Where a value goes in an answer: its columns, and how many of its last
// digits one unit of the value is. A negative value spends a column on
// its sign.
struct TAnswerColumns {
    int Width;
    int Decimals;
};
inline constexpr TAnswerColumns kLevelColumns{7, 2};
inline constexpr TAnswerColumns kSecondValueColumns{7, 2};
inline constexpr TAnswerColumns kTemperatureColumns{4, 1};
inline constexpr TAnswerColumns kDensityColumns{8, 8};

// The value in its columns' units, or nothing when the columns cannot hold
// it ("-99999.99 to 99999.99" says what they can, in `range`).
std::optional<long long> InColumns(double value, TAnswerColumns columns, std::string* range = nullptr);

// "no-answer, late" into faults; nothing when a name is unknown or the list
// is empty.
std::optional<std::vector<TFault>> ParseFaultList(const std::string& text);

class TGauge final : public TAnswerer {
public:
    TGauge();  // a station's worth of tanks

    std::optional<TReply> Answer(const std::vector<std::uint8_t>& request, double elapsedSeconds) override;

    TTank& Tank(int number) { return FTanks.at(static_cast<std::size_t>(number - 1)); }
    void SetFault(int tank, TFault fault) { Tank(tank).Fault = fault; }
    void SetFaultAll(TFault fault);
    // A fault for the next `count` requests, whatever the tank, after those
    // queued before have had theirs.
    void AddFaultNext(TFault fault, int count);
    // Faults for the tank's successive requests, over and over, ahead of its
    // own fault; an empty script ends it.
    void SetScript(int tank, std::vector<TFault> faults);

    // The tank moved by its volume from now on: its level, temperature and
    // density follow from `motion`, no longer from its values and drift.
    void SetMotion(int tank, TTankMotion motion);
    // Where a tank moved by its volume stops (run empty or full, its
    // temperature past the tables), said once for each tank.
    void SetNotes(std::function<void(const std::string&)> note) { FNote = std::move(note); }

    double LevelAt(int tank, double elapsedSeconds) const;
    // What the gauge reports of the tank at that time.
    TTankState StateAt(int tank, double elapsedSeconds) const;

private:
    std::vector<std::uint8_t> LevelAnswer(int tank, const TTankState& state, bool junk) const;
    std::vector<std::uint8_t> DensityAnswer(int tank, const TTankState& state, bool junk) const;
    void NoteStops(int tank, const TTankState& state, double elapsedSeconds);

    struct TScript {
        std::vector<TFault> Faults;
        std::size_t Next = 0;
    };

    std::vector<TTank> FTanks;
    std::vector<TScript> FScripts;
    std::deque<std::pair<TFault, int>> FNextFaults;  // each with the requests it has left
    std::vector<std::optional<TTankMotion>> FMotions;
    std::vector<unsigned> FSaid;  // per tank, the stops already said (bits)
    std::function<void(const std::string&)> FNote;
};

// Gathers request frames from bytes as they come.
class TRequestParser {
public:
    // Complete frames found in these bytes and the ones before.
    std::vector<std::vector<std::uint8_t>> Feed(const std::uint8_t* data, std::size_t count);
    // True while part of a frame has come and its end has not.
    bool InFrame() const { return FInFrame; }

private:
    std::vector<std::uint8_t> FFrame;
    bool FInFrame = false;
    bool FAfterEtx = false;
};

// Wraps a payload into a frame: STX, payload, ETX, XOR check byte.
std::vector<std::uint8_t> MakeFrame(const std::string& payload);

}  // namespace qmx::sim
