#include "rows_events.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "event_json.h"
#include "exit_status.h"
#include "platform/append_file.h"
#include "recorded_rows.h"

namespace qmx::tools {
namespace {

struct TRowsTally {
    std::size_t Rows = 0, Deliveries = 0, LeakTests = 0, Failed = 0;
};

void Count(const std::vector<TTankEvent>& events, TRowsTally& tally) {
    for (const TTankEvent& event : events) {
        if (const auto* test = std::get_if<TLeakTest>(&event)) {
            ++tally.LeakTests;
            tally.Failed += test->Passed ? 0 : 1;
        } else {
            ++tally.Deliveries;
        }
    }
}

// Where the events go: the --events file, else standard output.
class TEventSink {
public:
    bool Open(const std::string& path, std::string& problem) {
        FToFile = !path.empty();
        return !FToFile || FFile.Open(path, problem);
    }
    bool Write(const std::string& text, std::string& problem) {
        if (FToFile) return FFile.Write(text, problem);
        if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) return true;
        problem = "standard output refused it";
        return false;
    }

private:
    bool FToFile = false;
    TAppendFile FFile;
};

int Replay(const TOptions& options, TRecordedRows& rows, TStationInventory& inventory, TEventSink& sink) {
    TRowsTally tally;
    TRecordedRow row;
    std::string problem;
    std::vector<TTankEvent> events;
    while (rows.Next(row, problem)) {
        const auto& tanks = options.Tanks;
        if (!tanks.empty() && std::find(tanks.begin(), tanks.end(), row.Reading.Tank) == tanks.end()) continue;
        ++tally.Rows;
        events.clear();
        inventory.Take(row.Reading, row.Time, events);
        Count(events, tally);
        for (const TTankEvent& event : events)
            if (std::string why; !sink.Write(EventLine(event), why)) {
                std::fprintf(stderr, "qmx-read: cannot write the events: %s\n", why.c_str());
                return kOutputFailed;
            }
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "qmx-read: %s\n", problem.c_str());
        return kUsage;
    }
    if (!options.Quiet)
        std::fprintf(stderr, "qmx-read: %zu rows: %zu deliveries, %zu leak tests (%zu failed)\n", tally.Rows,
                     tally.Deliveries, tally.LeakTests, tally.Failed);
    return kAllValid;
}

}  // namespace

int FindEventsInRows(const TOptions& options, TStationInventory& inventory) {
    TEventSink sink;
    if (std::string problem; !sink.Open(options.Events, problem)) {
        std::fprintf(stderr, "qmx-read: cannot open the events file %s: %s\n", options.Events.c_str(),
                     problem.c_str());
        return kOutputFailed;
    }
    if (options.FromRows == "-") {
        TRecordedRows rows(std::cin, "standard input");
        return Replay(options, rows, inventory, sink);
    }
    std::ifstream in(options.FromRows, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "qmx-read: cannot read %s\n", options.FromRows.c_str());
        return kUsage;
    }
    TRecordedRows rows(in, options.FromRows);
    return Replay(options, rows, inventory, sink);
}

}  // namespace qmx::tools
