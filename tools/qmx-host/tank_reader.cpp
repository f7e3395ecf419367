#include "tank_reader.h"

#include <cstdio>
#include <string>

namespace qmx::host {
namespace {

constexpr DWORD kRoundPause = 5000;

// The protocol fixes the scales of the values, not their units: those are
// the gauge's, so none is claimed here.
std::string TankText(int tank, const TCallResult<TTankReading>& result) {
    char text[256];
    const TTankReading* reading = result.Failed() ? nullptr : &*result.Value;
    if (reading == nullptr) {
        std::snprintf(text, sizeof text, "Резервуар %d:  ошибка: %s", tank, DescribeError(result.Error).c_str());
    } else if (!reading->Level || !reading->Temperature) {
        // A level is shown with its temperature, as one answer gives both.
        std::snprintf(text, sizeof text, "Резервуар %d:  нет данных", tank);
    } else {
        char density[32] = "нет данных";
        if (reading->Density) std::snprintf(density, sizeof density, "%.4f", *reading->Density);
        std::snprintf(text, sizeof text, "Резервуар %d:  уровень %.2f   температура %.1f   плотность %s", tank,
                      *reading->Level, *reading->Temperature, density);
    }
    return text;
}

}  // namespace

TTankReader::TTankReader(TDriver& driver, void* silo, const THostWindow& window)
    : FDriver(driver), FSilo(silo), FWindow(window) {}

void TTankReader::Start() {
    // The thread is never waited for; its handle is not kept.
    if (HANDLE thread = CreateThread(nullptr, 0, &TTankReader::Run, this, 0, nullptr)) CloseHandle(thread);
}

DWORD WINAPI TTankReader::Run(void* reader) { static_cast<TTankReader*>(reader)->ReadRounds(); }

void TTankReader::ReadRounds() {
    for (;;) {
        for (int tank = 1; tank <= kTanksShown; ++tank)
            FWindow.PostTankLine(tank, TankText(tank, FDriver.ReadTank(FSilo, static_cast<TWord>(tank - 1))));
        Sleep(kRoundPause);
    }
}

}  // namespace qmx::host
