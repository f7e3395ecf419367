#include "lent_objects.h"

#include <cstdio>
#include <cstdlib>

#include "driver_calls.h"

namespace qmx::host {
namespace {

TWord __stdcall NoLine(THostService*, TWord) { return 2; }
void __stdcall Ignore4(THostService*, TWord, TWord, TWord, TWord) {}
TWord __stdcall NoExchange(THostService*, TWord, TWord, TWord, TWord, TWord, TWord, TWord, TWord) { return 0; }
void __stdcall Ignore6(THostService*, TWord, TWord, TWord, TWord, TWord, TWord) {}
void __stdcall Ignore3(THostService*, TWord, TWord, TWord) {}
void __stdcall Ignore2(THostService*, TWord, TWord) {}

[[noreturn]] void NotForTheDriver() {
    std::fprintf(stderr, "qmx-host: the driver called into the host's menu item\n");
    std::abort();
}

}  // namespace

THostService::THostService() : FTable(FMethods) {
    FMethods[23] = reinterpret_cast<void*>(&NoLine);
    FMethods[24] = reinterpret_cast<void*>(&Ignore4);
    FMethods[25] = reinterpret_cast<void*>(&NoExchange);
    FMethods[26] = reinterpret_cast<void*>(&Ignore6);
    FMethods[27] = reinterpret_cast<void*>(&Ignore3);
    FMethods[31] = reinterpret_cast<void*>(&Ignore2);
}

TToolkitMenuItem::TToolkitMenuItem() : FClassTable(FMethods) {
    for (void*& method : FMethods) method = reinterpret_cast<void*>(&NotForTheDriver);
}

}  // namespace qmx::host
