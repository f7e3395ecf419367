#include <windows.h>
#include <tlhelp32.h>

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

std::vector<std::uint8_t> Frame(const std::string& payload) {
    std::string text = "\x02" + payload + "\x03";
    char check = 0;
    for (char byte : text) check = static_cast<char>(check ^ byte);
    text += check;
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace qmx::abi
