#include <windows.h>

#include <cstdlib>

#include "exit_deadline.h"

namespace qmx::tools {
namespace {

struct TDeadline {
    int Status;
    DWORD Grace;
};

TDeadline gDeadline{};

DWORD WINAPI EndAtDeadline(void*) {
    Sleep(gDeadline.Grace);
    std::_Exit(gDeadline.Status);
}

}  // namespace

// The toolchain's threads model has no std::thread.
void ExitAfter(int status, std::chrono::milliseconds grace) {
    static LONG armed = 0;
    if (InterlockedExchange(&armed, 1) != 0) return;
    gDeadline = {status, static_cast<DWORD>(grace.count())};
    if (HANDLE thread = CreateThread(nullptr, 0, EndAtDeadline, nullptr, 0, nullptr)) CloseHandle(thread);
}

}  // namespace qmx::tools
