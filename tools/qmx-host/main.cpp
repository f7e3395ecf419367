// qmx-host: a small station host for the driver, to see it as an operator
// does. It behaves as a host built with a toolkit: it loads
// DriverQuelmarox.dll, creates a silo with GetSiloEx (the connection comes
// from cnf.ini), hands InstallMenu a menu item object of its own (which the
// driver never calls), and only then makes its main window, whose native
// menu bar has "&Настройка"; the driver's entry appears there. It shows
// tanks 1 to 4, read through the measurement slots on a thread of its own.
// Every call into the driver is guarded: what the driver raises (a port
// that cannot be opened, a failed exchange) is shown, and the host runs on.

#include <windows.h>

#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "driver_calls.h"
#include "host_options.h"
#include "host_window.h"
#include "lent_objects.h"
#include "shown_log.h"
#include "tank_reader.h"

namespace {

using namespace qmx::host;

constexpr int kStarted = 0;
constexpr int kUsage = 2;

// The silo, or why there is none, and why the driver's menu entry could not
// be installed.
struct TStation {
    void* Silo = nullptr;
    std::string FactoryError;
    std::string MenuError;
};

TStation OpenStation(TDriver& driver, THostService& service, TToolkitMenuItem& menuItem) {
    TStation station;
    // A port that cannot be opened raises out of the factory: the host
    // shows why and runs on without a silo.
    const auto silo = driver.NewSilo(&service);
    if (silo.Failed())
        station.FactoryError = DescribeError(silo.Error);
    else
        station.Silo = *silo.Value;
    if (station.Silo == nullptr) return station;
    // Slot 15, before any window exists, as a toolkit host calls it: the
    // driver finds the menu bar later, when the operator opens it.
    if (const auto error = driver.InstallMenu(station.Silo, &menuItem)) station.MenuError = DescribeError(*error);
    return station;
}

void RunMessages() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const auto parsed = ParseHostOptions({argv + 1, argv + argc});
    if (const auto* refusal = std::get_if<std::string>(&parsed)) {
        std::fputs(refusal->c_str(), stderr);
        return kUsage;
    }
    const auto& options = std::get<THostOptions>(parsed);
    if (options.Help) {
        std::fputs(HostUsage().c_str(), stdout);
        return kStarted;
    }
    if (options.Version) {
        std::printf("qmx-host %s\n", QMX_VERSION);
        return kStarted;
    }
    TShownLog log;
    if (!options.Log.empty() && !log.Open(options.Log)) {
        std::fprintf(stderr, "qmx-host: cannot write the log %s\n", options.Log.c_str());
        return kUsage;
    }
    TDriver driver;
    if (!driver.Load()) {
        std::fprintf(stderr, "qmx-host: cannot load DriverQuelmarox.dll (it belongs next to qmx-host.exe)\n");
        MessageBoxA(nullptr, "Не удается загрузить DriverQuelmarox.dll", "Ошибка", MB_OK | MB_ICONERROR);
        return kUsage;
    }
    // The driver keeps the service and the menu item for the silo's life.
    THostService service;
    TToolkitMenuItem menuItem;
    const TStation station = OpenStation(driver, service, menuItem);

    THostWindow window(log, options.Screenshot);
    window.Create();
    if (options.QuitAfterSeconds > 0) window.QuitAfter(options.QuitAfterSeconds);
    if (!station.MenuError.empty()) window.PostError(station.MenuError);
    TTankReader reader(driver, station.Silo, window);
    if (station.Silo != nullptr) {
        reader.Start();
    } else {
        window.ShowLine(1, "Нет связи с уровнемером: " + station.FactoryError);
        window.PostError(station.FactoryError);
    }
    RunMessages();
    // The reading thread may still be inside the driver, on the objects
    // above: the process ends with it, none of them destroyed. The log is
    // closed first.
    log.Close();
    ExitProcess(0);
}
