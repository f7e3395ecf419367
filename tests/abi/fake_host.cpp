#include "fake_host.h"

#include <cstdio>
#include <cstdlib>

namespace qmx::abi {
namespace {

void __stdcall UnexpectedSlot(TFakeHost*) {
    std::printf("the driver called a host slot it must not use\n");
    std::fflush(stdout);
    ExitProcess(3);
}

TWord __stdcall GetLineState(TFakeHost* self, TWord line) {
    self->Record("GetLineState(" + Joined({line}) + ")");
    self->MaybeRaise(23);
    // Only AL carries the result; the rest of EAX is noise a host may leave.
    return 0xABCDEF00u | self->LineState;
}

void __stdcall SetAnswerCheck(TFakeHost* self, TWord block, TWord address, TWord entry, TWord object) {
    self->CheckEntry = entry;
    self->CheckObject = object;
    self->Record("SetAnswerCheck(" + Joined({block, address}) + ")");
    self->MaybeRaise(24);
}

TWord __stdcall Exchange(TFakeHost* self, TWord block, TWord address, TWord answerAddress,
                         const std::uint8_t* frame, TWord frameLength, std::uint8_t* answer,
                         TWord expected, TWord reserved) {
    const LONG inside = InterlockedIncrement(&self->Inside);
    for (LONG seen = self->MaxInside; inside > seen; seen = self->MaxInside)
        InterlockedCompareExchange(&self->MaxInside, inside, seen);
    self->LastFrame.assign(frame, frame + frameLength);
    self->Record("Exchange(" + Joined({block, address, answerAddress, frameLength, expected, reserved}) + ")");
    if (self->ExchangeSleepMs != 0) Sleep(self->ExchangeSleepMs);
    for (std::size_t i = 0; i < self->Answer.size(); ++i) answer[i] = self->Answer[i];
    InterlockedDecrement(&self->Inside);
    if (self->JudgeWithCheck) {
        std::uint8_t received = static_cast<std::uint8_t>(self->Answer.size());
        std::uint8_t expectedLength = static_cast<std::uint8_t>(expected);
        const TCallResult call = CallEntry(reinterpret_cast<const void*>(self->CheckEntry),
                                           {self->CheckObject, 17, Word(answer), 0,
                                            Word(&received), Word(&expectedLength)});
        self->CheckStackDelta = call.StackDelta;
        self->CheckResult = call.Eax & 0xFF;
    }
    self->MaybeRaise(25);
    return static_cast<TWord>(self->ExchangeResult);
}

void __stdcall SetLineParams(TFakeHost* self, TWord line, TWord p1, TWord baud, TWord p3, TWord p4, TWord p5) {
    self->Record("SetLineParams(" + Joined({line, p1, baud, p3, p4, p5}) + ")");
    self->MaybeRaise(26);
}

void __stdcall RegisterLineSetup(TFakeHost* self, TWord line, TWord entry, TWord object) {
    self->SetupEntry = entry;
    self->SetupObject = object;
    self->Record("RegisterLineSetup(" + Joined({line}) + ")");
    self->MaybeRaise(27);
}

void __stdcall ReportAnswerStatus(TFakeHost* self, TWord block, TWord status) {
    self->Record("ReportAnswerStatus(" + Joined({block, status}) + ")");
    self->MaybeRaise(31);
}

void* const* HostTable() {
    static void* table[32];
    for (auto& slot : table) slot = reinterpret_cast<void*>(&UnexpectedSlot);
    table[23] = reinterpret_cast<void*>(&GetLineState);
    table[24] = reinterpret_cast<void*>(&SetAnswerCheck);
    table[25] = reinterpret_cast<void*>(&Exchange);
    table[26] = reinterpret_cast<void*>(&SetLineParams);
    table[27] = reinterpret_cast<void*>(&RegisterLineSetup);
    table[31] = reinterpret_cast<void*>(&ReportAnswerStatus);
    return table;
}

}  // namespace

TFakeHost::TFakeHost() : Table(HostTable()) { InitializeCriticalSection(&FLock); }

TFakeHost::~TFakeHost() { DeleteCriticalSection(&FLock); }

void TFakeHost::Record(const std::string& call) {
    EnterCriticalSection(&FLock);
    FCalls.push_back(call);
    LeaveCriticalSection(&FLock);
}

std::vector<std::string> TFakeHost::TakeCalls() {
    EnterCriticalSection(&FLock);
    std::vector<std::string> calls;
    calls.swap(FCalls);
    LeaveCriticalSection(&FLock);
    return calls;
}

void TFakeHost::MaybeRaise(int slot) const {
    if (slot != RaiseInSlot) return;
    const ULONG_PTR parameter = kHostExceptionParameter;
    RaiseException(kHostExceptionCode, EXCEPTION_NONCONTINUABLE, 1, &parameter);
}

std::string Joined(std::initializer_list<long long> values) {
    std::string text;
    for (long long value : values) text += (text.empty() ? "" : ",") + std::to_string(value);
    return text;
}

}  // namespace qmx::abi
