#include "driver/win32/host_service_proxy.h"

#include <windows.h>

#include "driver/win32/host_calls.h"

namespace qmx {

std::uint8_t THostServiceProxy::GetLineState(std::uint8_t lineAddress) {
    // The link state comes back in AL; the rest of EAX is undefined.
    return static_cast<std::uint8_t>(CallSlot<1>(FHost, kSlotGetLineState, {lineAddress}));
}

void THostServiceProxy::SetAnswerCheck(std::uint8_t blockIndex, std::uint8_t address, TAnswerCheck check) {
    const THostPair pair = FEntries.HostPair(check);
    CallSlot<4>(FHost, kSlotSetAnswerCheck, {blockIndex, address, pair.Entry, pair.Object});
}

std::int32_t THostServiceProxy::Exchange(std::uint8_t blockIndex, std::uint8_t address,
                                         std::uint8_t answerAddress, const std::uint8_t* frame,
                                         std::uint8_t frameLength, std::uint8_t* answer,
                                         std::uint8_t expectedLength, std::int32_t reserved) {
    return static_cast<std::int32_t>(CallSlot<8>(
        FHost, kSlotExchange,
        {blockIndex, address, answerAddress, Word(frame), frameLength, Word(answer), expectedLength,
         static_cast<TWord>(reserved)}));
}

void THostServiceProxy::SetLineParams(std::uint8_t lineAddress, std::int32_t p1,
                                      std::int32_t baudRate, std::int32_t p3, std::int32_t p4,
                                      std::int32_t p5) {
    CallSlot<6>(FHost, kSlotSetLineParams,
                {lineAddress, static_cast<TWord>(p1), static_cast<TWord>(baudRate),
                 static_cast<TWord>(p3), static_cast<TWord>(p4), static_cast<TWord>(p5)});
}

void THostServiceProxy::RegisterLineSetup(std::uint8_t lineAddress, TLineSetup setup) {
    const THostPair pair = FEntries.HostPair(setup);
    CallSlot<3>(FHost, kSlotRegisterLineSetup, {lineAddress, pair.Entry, pair.Object});
}

void THostServiceProxy::ReportAnswerStatus(std::uint8_t blockIndex, std::uint8_t status) {
    CallSlot<2>(FHost, kSlotReportAnswerStatus, {blockIndex, status});
}

}  // namespace qmx
