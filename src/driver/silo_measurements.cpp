// The L and G queries and the four measurement operations built on them:
// one L exchange fills a tank's level, second value and temperature, which
// the temperature and second-value operations then answer from while the
// link state allows.

#include <algorithm>
#include <array>

#include "driver/silo.h"
#include "protocol/field_reader.h"
#include "protocol/queries.h"
#include "serial/serial_errors.h"

namespace qmx {
namespace {

// Stored when the exchange gave no valid answer.
constexpr TLevelValues kNoLevelValues{-1.0, -1.0, -111.0};
constexpr double kNoDensity = -1.0;

// What a measurement returns when it reports failure through the link state.
constexpr double kFailedReading = -1.0;
constexpr std::uint8_t kFailedAuxValue = 0;

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

void TSilo::QueryLevel(std::uint8_t tank) {
    TAnswerBuffer answer = RequestBuffer(TQuery::Level, tank);
    const TExchangeOutcome outcome = Exchange(answer.data(), kPayloadLength, AnswerLength(TQuery::Level));
    if (outcome.Failed()) throw ESerialIO(kRequestError);
    const TLevelValues values = outcome.Answered() ? DecodeLevelAnswer(answer.data()) : kNoLevelValues;
    FLevel[tank] = values.Level;
    FAuxValue[tank] = values.AuxValue;
    FTemperature[tank] = values.Temperature;
}

void TSilo::QueryDensity(std::uint8_t tank) {
    TAnswerBuffer answer = RequestBuffer(TQuery::Density, tank);
    const TExchangeOutcome outcome = Exchange(answer.data(), kPayloadLength, AnswerLength(TQuery::Density));
    if (outcome.Failed()) throw ESerialIO(kRequestError);
    FDensity[tank] = outcome.Answered() ? DecodeDensityAnswer(answer.data()) : kNoDensity;
}

// A tank index beyond the tables is refused without an exchange, as an
// invalid value.

double TSilo::GetLevel(std::uint8_t tank) {
    if (!IsTank(tank)) return NotValid(*this, kFailedReading);
    QueryLevel(tank);
    const double level = FLevel[tank];
    return level >= 0.0 ? level : NotValid(*this, kFailedReading);
}

void TSilo::GetTemperatures(std::uint8_t tank, double* record) {
    if (!IsTank(tank)) return NotValid(*this);
    if (GetState() != kLinkValid || FTemperature[tank] < -100.0) QueryLevel(tank);
    const double temperature = FTemperature[tank];
    if (GetState() != kLinkValid || !(temperature > -100.0)) return NotValid(*this);
    if (record == nullptr) return;
    for (int i = 0; i < 4; ++i) record[i] = temperature;
}

std::uint8_t TSilo::GetAuxValue(std::uint8_t tank) {
    if (!IsTank(tank)) return NotValid(*this, kFailedAuxValue);
    if (GetState() != kLinkValid || FAuxValue[tank] < 0.0) QueryLevel(tank);
    const double value = FAuxValue[tank];
    if (GetState() != kLinkValid || !(value > -1.0)) return NotValid(*this, kFailedAuxValue);
    return RoundToLowByte(value);
}

double TSilo::GetDensity(std::uint8_t tank) {
    if (!IsTank(tank)) return NotValid(*this, kFailedReading);
    QueryDensity(tank);
    const double density = FDensity[tank];
    return GetState() == kLinkValid && density > 0.0 ? density : NotValid(*this, kFailedReading);
}

}  // namespace qmx
