#pragma once

// The reader's metrics over HTTP, for a Prometheus that scrapes the reader
// itself rather than node exporter's textfile directory, and the station's
// live page beside them: /metrics gives the metrics text last published,
// /tanks.json the tanks' JSON published with it, / the page that shows
// that JSON, anything else 404.
//
// It serves on a thread of its own. A round only swaps the texts in, under
// a lock held for no more than that, so a scrape never waits for a round
// (one can take a minute) and a slow scraper never holds up the reading.

#include <memory>
#include <string>

#include "listen_address.h"

namespace qmx::tools {

// What one round publishes: both from the same readings.
struct TExported {
    std::string Metrics;  // the exposition text
    std::string Tanks;    // TanksJson
};

class TMetricsExporter {
public:
    virtual ~TMetricsExporter() = default;
    // What /metrics and /tanks.json serve from now on; a request in
    // progress keeps the texts it took.
    virtual void Publish(TExported texts) = 0;
    // Where it serves, with the port bound: "http://127.0.0.1:9723".
    virtual std::string Url() const = 0;
};

// Listening when it returns, so that a port in use is found before the
// first request; nothing, with the problem, when it cannot bind.
std::unique_ptr<TMetricsExporter> StartMetricsExporter(const TListenAddress& address, TExported first,
                                                       std::string& problem);

}  // namespace qmx::tools
