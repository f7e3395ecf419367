#pragma once

// The reader's metrics over HTTP, for a Prometheus that scrapes the reader
// itself rather than node exporter's textfile directory: /metrics gives the
// text last published, / a page that links to it, anything else 404.
//
// It serves on a thread of its own. A round only swaps the text in, under
// a lock held for no more than that, so a scrape never waits for a round
// (one can take a minute) and a slow scraper never holds up the reading.

#include <memory>
#include <string>

#include "listen_address.h"

namespace qmx::tools {

class TMetricsExporter {
public:
    virtual ~TMetricsExporter() = default;
    // What /metrics serves from now on; a scrape in progress keeps the
    // text it took.
    virtual void Publish(std::string text) = 0;
    // Where it serves, with the port bound: "http://127.0.0.1:9723".
    virtual std::string Url() const = 0;
};

// Listening when it returns, so that a port in use is found before the
// first request; nothing, with the problem, when it cannot bind.
std::unique_ptr<TMetricsExporter> StartMetricsExporter(const TListenAddress& address, std::string firstText,
                                                       std::string& problem);

}  // namespace qmx::tools
