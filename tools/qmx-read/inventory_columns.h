#pragma once

// The columns the reader adds to a row when it is given a tank file: the
// tank's volume, volume at 15 C, mass and ullage, its density at 15 C, the
// correction factor and the fill. Empty (null in JSON) where a value is
// absent; the reason then says why.

#include <string>

#include "inventory/inventory.h"

namespace qmx::tools {

// The table's: volume, volume at 15 C, mass, ullage (the rest is in JSON
// and CSV, for programs).
std::string InventoryTableHeader();
std::string InventoryTableCells(const TInventory& inventory);

// ", \"volume_l\": ..., \"inventory_reason\": ..." (the reason only when
// there is one).
std::string InventoryJsonFields(const TInventory& inventory);

// ",volume_l,volume15_l,mass_kg,ullage_l,density15,vcf,fill" and the row's
// fields in that order.
std::string InventoryCsvHeader();
std::string InventoryCsvFields(const TInventory& inventory);

// A CSV field as RFC 4180 has it: quoted, its quotes doubled, when it holds
// a comma, a quote or a line end.
std::string CsvField(const std::string& text);

}  // namespace qmx::tools
