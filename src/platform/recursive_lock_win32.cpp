#include "platform/recursive_lock.h"

namespace qmx {

// A critical section is recursive by nature: its owner may enter it again.
TRecursiveLock::TRecursiveLock() { InitializeCriticalSection(&FSection); }

TRecursiveLock::~TRecursiveLock() { DeleteCriticalSection(&FSection); }

void TRecursiveLock::Enter() { EnterCriticalSection(&FSection); }

// Windows XP has no timed entry: tried again every millisecond.
bool TRecursiveLock::TryEnterFor(unsigned milliseconds) {
    const DWORD start = GetTickCount();
    while (TryEnterCriticalSection(&FSection) == 0) {
        if (GetTickCount() - start >= milliseconds) return false;
        Sleep(1);
    }
    return true;
}

void TRecursiveLock::Leave() { LeaveCriticalSection(&FSection); }

}  // namespace qmx
