#pragma once

// Reading tanks through a silo as a host does, and showing the result.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/silo.h"

namespace qmx::tools {

struct TTankReading {
    int Tank = 0;  // 1 to 33, as on the gauge
    std::optional<double> Level;
    std::optional<double> Temperature;
    std::optional<int> AuxValue;
    std::optional<double> Density;
    std::uint8_t LinkState = 0;  // after the last operation
    std::string Error;           // a request error the silo raised
    bool Valid() const { return Level && Temperature && AuxValue && Density && Error.empty(); }
};

// The four measurement operations for one tank, each judged by GetState.
TTankReading ReadTank(TSilo& silo, int tank);

std::string FormatTable(const std::vector<TTankReading>& readings);
std::string FormatJson(const std::vector<TTankReading>& readings);
std::string FormatCsv(const std::vector<TTankReading>& readings);

}  // namespace qmx::tools
