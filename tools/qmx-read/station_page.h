#pragma once

// The station's live page (station_page.html, built into the reader): one
// card a tank, from /tanks.json, fetched again every few seconds.

#include <string_view>

namespace qmx::tools {

std::string_view StationPage();

}  // namespace qmx::tools
