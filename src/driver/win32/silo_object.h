#pragma once

// The silo as the host holds it: an object whose first word is the address
// of slot 0 of its operation table. The 19 words before slot 0 are the class
// header of the host's class library (class_header.h), the destructor entry
// the last of them.

#include <cstdint>
#include <memory>
#include <string>

#include "driver/silo.h"
#include "driver/win32/host_service_proxy.h"

namespace qmx {

struct TSiloObject {
    // The silo's own ports trace to `tracePath` when it names a file.
    TSiloObject(void* host, std::uint8_t connectionType, const std::string& tracePath);
    ~TSiloObject();
    TSiloObject(const TSiloObject&) = delete;
    TSiloObject& operator=(const TSiloObject&) = delete;

    const void* const* Table;  // must stay the first word
    THostServiceProxy Proxy;
    TSilo Core;
};

// A new silo for the host, registered as alive until its destructor entry
// runs; with a `metricsDir`, publishing its readings there, and with a
// `tracePath`, tracing its own ports' bytes to it.
TSiloObject* NewSiloObject(void* host, std::uint8_t connectionType, const std::string& metricsDir,
                           const std::string& tracePath);

}  // namespace qmx
