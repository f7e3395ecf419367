// The L and G queries and the four measurement operations built on them.
// One L answer carries a tank's level, second value and temperature; the G
// answer its density. Values are read from fixed positions of the frame.

#include <array>

#include "driver/silo.h"
#include "protocol/answer_layout.h"
#include "protocol/field_reader.h"
#include "serial/serial_errors.h"

namespace qmx {
namespace {

constexpr std::uint8_t kPayloadLength = 3;

// Stored when the exchange gave no valid answer.
constexpr double kNoLevel = -1.0;
constexpr double kNoAuxValue = -1.0;
constexpr double kNoTemperature = -111.0;
constexpr double kNoDensity = -1.0;

// What a measurement returns when it reports failure through the link state.
constexpr double kFailedReading = -1.0;
constexpr std::uint8_t kFailedAuxValue = 0;

constexpr char kRequestError[] = "Ошибка запроса уровня";

// Answer buffer of a query: room for any frame a transport may write.
using TAnswerBuffer = std::array<std::uint8_t, 256>;

bool IsTank(std::uint8_t tank) { return tank < kTankCount; }

TAnswerBuffer Payload(char query, std::uint8_t tank) {
    const unsigned number = tank + 1u;
    TAnswerBuffer buffer{};
    buffer[0] = static_cast<std::uint8_t>(query);
    buffer[1] = static_cast<std::uint8_t>('0' + number / 10);
    buffer[2] = static_cast<std::uint8_t>('0' + number % 10);
    return buffer;
}

double Read(const TAnswerBuffer& answer, const TField& field) {
    return ReadField(answer.data(), field.Position, field.Width, field.Fallback) / field.Scale;
}

}  // namespace

void TSilo::QueryLevel(std::uint8_t tank) {
    TAnswerBuffer answer = Payload('L', tank);
    std::uint8_t linkState = 0;
    if (Exchange(answer.data(), kPayloadLength, kLevelAnswerLength, linkState) != 0)
        throw ESerialIO(kRequestError);
    if (linkState != kLinkValid) {
        FLevel[tank] = kNoLevel;
        FAuxValue[tank] = kNoAuxValue;
        FTemperature[tank] = kNoTemperature;
        return;
    }
    FLevel[tank] = Read(answer, kLevelField);
    FAuxValue[tank] = Read(answer, kAuxField);
    FTemperature[tank] = Read(answer, kTemperatureField);
}

void TSilo::QueryDensity(std::uint8_t tank) {
    TAnswerBuffer answer = Payload('G', tank);
    std::uint8_t linkState = 0;
    if (Exchange(answer.data(), kPayloadLength, kDensityAnswerLength, linkState) != 0)
        throw ESerialIO(kRequestError);
    FDensity[tank] = linkState != kLinkValid ? kNoDensity : Read(answer, kDensityField);
}

// A tank index beyond the tables is refused without an exchange, as an
// invalid value.

double TSilo::GetLevel(std::uint8_t tank) {
    if (!IsTank(tank)) {
        SetState(kLinkInvalid);
        return kFailedReading;
    }
    QueryLevel(tank);
    const double level = FLevel[tank];
    if (level >= 0.0) return level;
    SetState(kLinkInvalid);
    return kFailedReading;
}

void TSilo::GetTemperatures(std::uint8_t tank, double* record) {
    if (!IsTank(tank)) {
        SetState(kLinkInvalid);
        return;
    }
    if (GetState() != kLinkValid || FTemperature[tank] < -100.0) QueryLevel(tank);
    const double temperature = FTemperature[tank];
    if (GetState() != kLinkValid || !(temperature > -100.0)) {
        SetState(kLinkInvalid);
        return;
    }
    if (record == nullptr) return;
    for (int i = 0; i < 4; ++i) record[i] = temperature;
}

std::uint8_t TSilo::GetAuxValue(std::uint8_t tank) {
    if (!IsTank(tank)) {
        SetState(kLinkInvalid);
        return kFailedAuxValue;
    }
    if (GetState() != kLinkValid || FAuxValue[tank] < 0.0) QueryLevel(tank);
    const double value = FAuxValue[tank];
    if (GetState() != kLinkValid || !(value > -1.0)) {
        SetState(kLinkInvalid);
        return kFailedAuxValue;
    }
    return RoundToLowByte(value);
}

double TSilo::GetDensity(std::uint8_t tank) {
    if (!IsTank(tank)) {
        SetState(kLinkInvalid);
        return kFailedReading;
    }
    QueryDensity(tank);
    const double density = FDensity[tank];
    if (GetState() == kLinkValid && density > 0.0) return density;
    SetState(kLinkInvalid);
    return kFailedReading;
}

}  // namespace qmx
