#include "inventory_columns.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "json_string.h"

namespace qmx::tools {
namespace {

// A column of the rows, with the decimals its value is shown to: a litre to
// the decilitre and a kilogram to a tenth, within the gauge's own
// resolution; the factor to the tables' own 5 decimals and a little more.
struct TColumn {
    const char* Name;
    std::optional<double> TInventory::*Value;
    int Decimals;
};

constexpr TColumn kColumns[] = {
    {"volume_l", &TInventory::GrossLitres, 1},  {"volume15_l", &TInventory::NetLitres, 1},
    {"mass_kg", &TInventory::MassKg, 1},         {"ullage_l", &TInventory::UllageLitres, 1},
    {"density15", &TInventory::Density15, 2},    {"vcf", &TInventory::Factor, 6},
    {"fill", &TInventory::Fill, 4},
};
// The table shows the first four.
constexpr std::size_t kTableColumns = 4;

// No number for a value that is none (JSON has no NaN).
std::string Number(const std::optional<double>& value, int decimals, const char* absent) {
    if (!value || !std::isfinite(*value)) return absent;
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, *value);
    return text;
}

}  // namespace

std::string InventoryTableHeader() { return "    Volume    Volume15     Mass kg      Ullage  "; }

std::string InventoryTableCells(const TInventory& inventory) {
    std::string cells;
    for (std::size_t i = 0; i < kTableColumns; ++i) {
        char cell[32];
        std::snprintf(cell, sizeof cell, "%10s  ",
                      Number(inventory.*kColumns[i].Value, kColumns[i].Decimals, "-").c_str());
        cells += cell;
    }
    return cells;
}

std::string InventoryJsonFields(const TInventory& inventory) {
    std::string fields;
    for (const TColumn& column : kColumns)
        fields += std::string(", \"") + column.Name + "\": " + Number(inventory.*column.Value, column.Decimals, "null");
    if (!inventory.Reason.empty()) fields += ", \"inventory_reason\": " + JsonString(inventory.Reason);
    return fields;
}

std::string InventoryCsvHeader() {
    std::string header;
    for (const TColumn& column : kColumns) header += std::string(",") + column.Name;
    return header;
}

std::string InventoryCsvFields(const TInventory& inventory) {
    std::string fields;
    for (const TColumn& column : kColumns) fields += "," + Number(inventory.*column.Value, column.Decimals, "");
    return fields;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace qmx::tools
