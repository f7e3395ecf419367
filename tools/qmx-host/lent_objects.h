#pragma once

// The objects the host hands the driver, laid out as the driver reads them:
// an object's first word points to its class's table of methods. Each holds
// its own table, and must live as long as the silo it was handed to.

namespace qmx::host {

// The host communication service. This host lends no blocks: asked for a
// line, it has none, and the rest of the service does nothing.
class THostService {
public:
    THostService();
    THostService(const THostService&) = delete;
    THostService& operator=(const THostService&) = delete;

private:
    void* const* FTable;  // first, where the driver looks for it
    void* FMethods[32] = {};
};

// A toolkit's menu item object, as InstallMenu takes it: the driver knows
// nothing of its class and must never call it; each of its methods ends
// the program.
class TToolkitMenuItem {
public:
    TToolkitMenuItem();
    TToolkitMenuItem(const TToolkitMenuItem&) = delete;
    TToolkitMenuItem& operator=(const TToolkitMenuItem&) = delete;

private:
    void* const* FClassTable;  // first, where the driver would look for it
    void* FMethods[16] = {};
};

}  // namespace qmx::host
