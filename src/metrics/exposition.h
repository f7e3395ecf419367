#pragma once

// Tank readings in Prometheus' text exposition format, the form node
// exporter's and windows_exporter's textfile collectors read. The reader
// writes it after each round; the driver, inside a station's host, writes
// the same families from the readings the host made, so that one rules file
// and one dashboard serve both.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "protocol/tank_reading.h"

namespace qmx {

struct TRoundFigures {
    double DurationSeconds = 0;
    int FailedExchanges = 0;             // in this round
    long long FailedExchangesTotal = 0;  // since the start
    long long Rounds = 0;                // since the start, this one included
    double EndedAt = 0;                  // Unix time
    bool DevicePresent = true;           // when the round ended
    // Unix time of each tank's last reading that was valid and without
    // doubt, since the start: a tank is absent until it has one.
    std::map<int, double> LastValidAt;
};

// The labels that name the line in every sample: its device and, for a
// reader run as a named service, that name as `instance` (after `device`;
// none when empty, so that a text without it is as it always was). From a
// device alone where only the device is known, as in the driver: implicit,
// so that a device name is still all such a caller gives.
struct TLineLabels {
    TLineLabels(const std::string& device) : Device(device) {}
    TLineLabels(const char* device) : Device(device) {}
    TLineLabels(std::string device, std::string instance)
        : Device(std::move(device)), Instance(std::move(instance)) {}
    std::string Device;
    std::string Instance;
};

// Who wrote the text: a build-info family, always 1, with its labels.
struct TSourceInfo {
    std::string Family;
    std::string Help;
    std::vector<std::pair<std::string, std::string>> Labels;
};

// The reader's own, with its version.
TSourceInfo ReaderSource(const std::string& version);
// The driver inside a station's host, with the host's executable name.
TSourceInfo DriverSource(const std::string& version, const std::string& hostExecutable);

// Why a tank's reading is not valid, as the `reason` label: "none" when it
// is; "not_asked" when no exchange was made for it (the device had gone, or
// the transport refused before any frame went out); else the verdict of the
// last attempt of the exchange that failed it ("no_answer", ...).
std::string FailureReason(bool valid, bool asked, TAttemptVerdict verdict);
// The same of a reading: asked when its failing exchange made attempts.
std::string FailureReason(const TTankReading& reading);

// `line` names the line in every sample's labels. A value that did not
// come valid has no sample; its tank's qmx_tank_valid is 0 and its reason
// is a label of qmx_tank_failure_info. A reading the driver took as valid
// but that is in doubt keeps qmx_tank_valid 1 (the driver's verdict) and
// has qmx_tank_doubtful 1, with a qmx_tank_doubt_info series per doubt.
// Label values are UTF-8 whatever bytes the line's labels hold.
std::string MetricsText(const TLineLabels& line, const std::vector<TTankReading>& tanks,
                        const TRoundFigures& round, const TSourceInfo& source);

// The source's build-info family alone.
std::string SourceText(const TLineLabels& line, const TSourceInfo& source);
// A family of one sample, with the line's labels alone: a gauge, a counter,
// or a gauge that holds a Unix time (written to the millisecond).
enum class TSampleKind { Gauge, Counter, Time };
std::string OneSampleText(const TLineLabels& line, const std::string& family, const std::string& help,
                          double value, TSampleKind kind = TSampleKind::Gauge);
// A family of one sample per tank, with the line's labels and the tank's;
// nothing when there are none.
std::string TankSamplesText(const TLineLabels& line, const std::string& family, const std::string& help,
                            const std::map<int, double>& byTank, TSampleKind kind = TSampleKind::Gauge);

}  // namespace qmx
