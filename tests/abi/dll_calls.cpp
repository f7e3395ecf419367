#include "dll_calls.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace qmx::abi {

HMODULE Driver() {
    static HMODULE module = [] {
        HMODULE loaded = LoadLibraryA("DriverQuelmarox.dll");
        if (loaded == nullptr) {
            std::printf("cannot load DriverQuelmarox.dll: error %lu\n", GetLastError());
            std::exit(2);
        }
        return loaded;
    }();
    return module;
}

const void* Export(const char* name) {
    return reinterpret_cast<const void*>(GetProcAddress(Driver(), name));
}

TCallResult CallEntry(const void* entry, std::initializer_list<TWord> words, bool returnsDouble) {
    const std::vector<TWord> list(words);
    TCallResult result{};
    qmxCallChecked(entry, list.data(), static_cast<int>(list.size()), returnsDouble ? 1 : 0, &result);
    return result;
}

TCallResult CallSlot(void* silo, int slot, std::initializer_list<TWord> arguments, bool returnsDouble) {
    std::vector<TWord> list{Word(silo)};
    list.insert(list.end(), arguments.begin(), arguments.end());
    TCallResult result{};
    qmxCallChecked(TableOf(silo)[slot], list.data(), static_cast<int>(list.size()),
                   returnsDouble ? 1 : 0, &result);
    return result;
}

void* NewSiloEx3(void* host, TWord number, TWord flag, TCallResult* call) {
    const TCallResult result = CallEntry(Export("GetSiloEx3"), {Word(host), number, flag});
    if (call != nullptr) *call = result;
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(result.Eax));
}

void* NewSiloEx(void* host, TCallResult* call) {
    const TCallResult result = CallEntry(Export("GetSiloEx"), {Word(host), 0xDEADBEEF});
    if (call != nullptr) *call = result;
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(result.Eax));
}

TCallResult DestroySilo(void* silo) {
    TCallResult result{};
    qmxCallRegister(TableOf(silo)[-1], Word(silo), 1, &result);
    return result;
}

}  // namespace qmx::abi
