#pragma once

// The host's communication service, reached through the first word of the
// host's object: a table of stdcall entry points called by position, the
// service first, every argument 32 bits. Each call runs under a structured-
// exception guard; a host exception comes back as EHostFault, which the
// core absorbs where it drops the host's errors, and which the entry point
// raises again as it was where the host is to see it.

#include <cstdint>

#include "driver/host_service.h"

namespace qmx {

// Positions in the host's table.
enum THostSlot : int {
    kSlotGetLineState = 23,
    kSlotSetAnswerCheck = 24,
    kSlotExchange = 25,
    kSlotSetLineParams = 26,
    kSlotRegisterLineSetup = 27,
    kSlotReportAnswerStatus = 31,
};

// A method reference of the silo as the host is handed it: an entry point of
// the library's own (stdcall, the silo object first) and the silo object
// the host knows.
struct THostPair {
    std::uint32_t Entry;
    std::uint32_t Object;
};

// How the silo's method references cross to the host: the silo object, and
// what turns a reference's code and object into the host's pair (raising
// std::logic_error for a reference the edge has no entry point for).
struct TSiloEntries {
    void* SiloObject;
    THostPair (*PairOf)(void* siloObject, const void* code, void* object);

    template <class TRef>
    THostPair HostPair(const TRef& ref) const {
        return PairOf(SiloObject, reinterpret_cast<const void*>(ref.Code()), ref.Object());
    }
};

class THostServiceProxy final : public THostCommService {
public:
    THostServiceProxy(void* host, TSiloEntries entries) : FHost(host), FEntries(entries) {}
    ~THostServiceProxy() = default;

    std::uint8_t GetLineState(std::uint8_t lineAddress) override;
    void SetAnswerCheck(std::uint8_t blockIndex, std::uint8_t address, TAnswerCheck check) override;
    std::int32_t Exchange(std::uint8_t blockIndex, std::uint8_t address, std::uint8_t answerAddress,
                          const std::uint8_t* frame, std::uint8_t frameLength, std::uint8_t* answer,
                          std::uint8_t expectedLength, std::int32_t reserved) override;
    void SetLineParams(std::uint8_t lineAddress, std::int32_t p1, std::int32_t baudRate,
                       std::int32_t p3, std::int32_t p4, std::int32_t p5) override;
    void RegisterLineSetup(std::uint8_t lineAddress, TLineSetup setup) override;
    void ReportAnswerStatus(std::uint8_t blockIndex, std::uint8_t status) override;

private:
    void* FHost;
    TSiloEntries FEntries;
};

}  // namespace qmx
