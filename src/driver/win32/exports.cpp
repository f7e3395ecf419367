// The library's two exports. Both are stdcall and return the new silo
// object, which belongs to the host from then on.

#include <windows.h>

#include "driver/config_file.h"
#include "driver/connection.h"
#include "driver/win32/boundary_errors.h"
#include "driver/win32/silo_object.h"

using qmx::TBoundaryFailure;

extern "C" void* __stdcall GetSiloEx3(void* host, std::uint32_t number, std::uint32_t blockFlag) {
    void* silo = nullptr;
    TBoundaryFailure failure;
    if (!qmx::RunCore([&] { silo = qmx::NewSiloObject(host, qmx::ConnectionTypeFor(number, blockFlag),
                                                            qmx::ReadConfiguredMetricsDir(),
                                                            qmx::ReadConfiguredTracePath()); },
                      failure))
        qmx::RaiseFailure(failure);
    return silo;
}

extern "C" void* __stdcall GetSiloEx(void* host, std::uint32_t /*unused*/) {
    void* silo = nullptr;
    TBoundaryFailure failure;
    if (!qmx::RunCore([&] { silo = qmx::NewSiloObject(host, qmx::ReadConfiguredConnectionType(),
                                                            qmx::ReadConfiguredMetricsDir(),
                                                            qmx::ReadConfiguredTracePath()); },
                      failure))
        qmx::RaiseFailure(failure);
    return silo;
}
