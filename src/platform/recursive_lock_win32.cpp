#include "platform/recursive_lock.h"

namespace qmx {

// A critical section is recursive by nature: its owner may enter it again.
TRecursiveLock::TRecursiveLock() { InitializeCriticalSection(&FSection); }

TRecursiveLock::~TRecursiveLock() { DeleteCriticalSection(&FSection); }

void TRecursiveLock::Enter() { EnterCriticalSection(&FSection); }

void TRecursiveLock::Leave() { LeaveCriticalSection(&FSection); }

}  // namespace qmx
