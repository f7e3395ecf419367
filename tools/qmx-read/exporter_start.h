#pragma once

// The HTTP exporter --listen asks for, started for the reader and the
// monitor alike before their first row.

#include <memory>
#include <string>

#include "metrics_exporter.h"
#include "options.h"

namespace qmx::tools {

// False, with the reason on standard error, when it cannot listen; true
// with none started when --listen was not given.
bool StartExporter(const TOptions& options, const std::string& device, std::unique_ptr<TMetricsExporter>& exporter);

}  // namespace qmx::tools
