#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>

#include "dll_calls.h"
#include "harness.h"
#include "host_process.h"

namespace qmx::abi {

int ThreadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    CloseHandle(snapshot);
    return count;
}

void* SiloOnLine() {
    const char* port = std::getenv("QMX_LINE_PORT");
    CHECK(port != nullptr);
    if (port == nullptr) return nullptr;
    void* silo = NewSiloEx3(nullptr, static_cast<TWord>(std::atoi(port)), 0);
    CHECK(silo != nullptr);
    return silo;
}

std::vector<std::uint8_t> Frame(const std::string& payload) {
    std::string text = "\x02" + payload + "\x03";
    char check = 0;
    for (char byte : text) check = static_cast<char>(check ^ byte);
    text += check;
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace qmx::abi
