// The L and G queries and the four measurement operations built on them:
// one L exchange fills a tank's level, second value and temperature, which
// the temperature and second-value operations then answer from while the
// link state allows.

#include <algorithm>
#include <array>
#include <exception>

#include "driver/silo.h"
#include "driver/silo_metrics.h"
#include "protocol/field_reader.h"
#include "protocol/queries.h"
#include "serial/serial_errors.h"

namespace qmx {
namespace {

// Stored when the exchange gave no valid answer.
constexpr double kNoLevel = -1.0;
constexpr double kNoSecondValue = -1.0;
constexpr double kNoTemperature = -111.0;
constexpr double kNoDensity = -1.0;

// What a measurement returns when it reports failure through the link state.
constexpr double kFailedReading = -1.0;
constexpr std::uint8_t kFailedSecondValue = 0;

constexpr char kRequestError[] = "Ошибка запроса уровня";

// A query's buffer: the payload on the way out, then room for any frame a
// transport may write back.
using TAnswerBuffer = std::array<std::uint8_t, 256>;

bool IsTank(std::uint8_t tank) { return tank < kTankCount; }

// A value that is not valid: link state 3, through the silo's own
// operation, and a result that carries no meaning for the host.
void NotValid(TSilo& silo) { silo.SetState(kLinkInvalid); }

template <class T>
T NotValid(TSilo& silo, T result) {
    NotValid(silo);
    return result;
}

TAnswerBuffer RequestBuffer(TQuery query, std::uint8_t tank) {
    const TPayload payload = QueryPayload(query, tank);
    TAnswerBuffer buffer{};
    std::copy(payload.begin(), payload.end(), buffer.begin());
    return buffer;
}

}  // namespace

// Notes a measurement operation's result for the metrics as it returns,
// by whichever path, raising or not.
class TMeasurementNote {
public:
    TMeasurementNote(TSilo& silo, std::uint8_t tank, TMeasure what)
        : FSilo(silo), FTank(tank), FWhat(what), FRaising(std::uncaught_exceptions()) {}
    ~TMeasurementNote() {
        if (FSilo.FMetrics) FSilo.NoteMeasured(FTank, FWhat, std::uncaught_exceptions() > FRaising);
    }
    TMeasurementNote(const TMeasurementNote&) = delete;
    TMeasurementNote& operator=(const TMeasurementNote&) = delete;

private:
    TSilo& FSilo;
    const std::uint8_t FTank;
    const TMeasure FWhat;
    const int FRaising;
};

void TSilo::NoteMeasured(std::uint8_t tank, TMeasure what, bool raised) {
    if (!IsTank(tank)) return;
    const std::uint8_t state = FState;
    std::optional<double> value;
    if (!raised && state == kLinkValid) {
        switch (what) {
            case TMeasure::Level: value = FLevel[tank]; break;
            case TMeasure::Temperature: value = FTemperature[tank]; break;
            case TMeasure::SecondValue: value = RoundToLowByte(FAuxValue[tank]); break;
            case TMeasure::Density: value = FDensity[tank]; break;
        }
    }
    FMetrics->Measured(tank, what, value, state, FDevicePresent);
}

// The answer of `record`'s exchange decoded once: its values, and its
// doubts for the metrics.
TTankReading TSilo::Decoded(std::uint8_t tank, TQuery query, const TExchangeRecord& record,
                            const std::uint8_t* answer) {
    const TTankReading decoded =
        record.Answered() ? DecodeAnswer(query, tank, answer, AnswerLength(query)) : TTankReading{};
    if (FMetrics) FMetrics->Exchanged(tank, query, record, decoded.Doubts);
    if (record.Failed()) throw ESerialIO(kRequestError);
    return decoded;
}

void TSilo::QueryLevel(std::uint8_t tank) {
    TAnswerBuffer answer = RequestBuffer(TQuery::Level, tank);
    const TExchangeRecord record = Exchange(answer.data(), kPayloadLength, AnswerLength(TQuery::Level));
    const TTankReading decoded = Decoded(tank, TQuery::Level, record, answer.data());
    FLevel[tank] = decoded.Level.value_or(kNoLevel);
    FAuxValue[tank] = decoded.SecondValue.value_or(kNoSecondValue);
    FTemperature[tank] = decoded.Temperature.value_or(kNoTemperature);
}

void TSilo::QueryDensity(std::uint8_t tank) {
    TAnswerBuffer answer = RequestBuffer(TQuery::Density, tank);
    const TExchangeRecord record = Exchange(answer.data(), kPayloadLength, AnswerLength(TQuery::Density));
    FDensity[tank] = Decoded(tank, TQuery::Density, record, answer.data()).Density.value_or(kNoDensity);
}

// A tank index beyond the tables is refused without an exchange, as an
// invalid value.

double TSilo::GetLevel(std::uint8_t tank) {
    const TMeasurementNote note(*this, tank, TMeasure::Level);
    if (!IsTank(tank)) return NotValid(*this, kFailedReading);
    QueryLevel(tank);
    const double level = FLevel[tank];
    return ValueValid(TMeasure::Level, level) ? level : NotValid(*this, kFailedReading);
}

void TSilo::GetTemperatures(std::uint8_t tank, double* record) {
    const TMeasurementNote note(*this, tank, TMeasure::Temperature);
    if (!IsTank(tank)) return NotValid(*this);
    if (GetState() != kLinkValid || FTemperature[tank] < -100.0) QueryLevel(tank);
    const double temperature = FTemperature[tank];
    if (GetState() != kLinkValid || !ValueValid(TMeasure::Temperature, temperature)) return NotValid(*this);
    if (record == nullptr) return;
    for (int i = 0; i < 4; ++i) record[i] = temperature;
}

std::uint8_t TSilo::GetAuxValue(std::uint8_t tank) {
    const TMeasurementNote note(*this, tank, TMeasure::SecondValue);
    if (!IsTank(tank)) return NotValid(*this, kFailedSecondValue);
    if (GetState() != kLinkValid || FAuxValue[tank] < 0.0) QueryLevel(tank);
    const double value = FAuxValue[tank];
    if (GetState() != kLinkValid || !ValueValid(TMeasure::SecondValue, value)) return NotValid(*this, kFailedSecondValue);
    return RoundToLowByte(value);
}

double TSilo::GetDensity(std::uint8_t tank) {
    const TMeasurementNote note(*this, tank, TMeasure::Density);
    if (!IsTank(tank)) return NotValid(*this, kFailedReading);
    QueryDensity(tank);
    const double density = FDensity[tank];
    return GetState() == kLinkValid && ValueValid(TMeasure::Density, density) ? density
                                                                              : NotValid(*this, kFailedReading);
}

}  // namespace qmx
