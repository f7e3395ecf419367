#include "platform/recursive_lock.h"

#include <cstdlib>

namespace qmx {

TRecursiveLock::TRecursiveLock() {
    pthread_mutexattr_t attributes;
    // These calls fail only on invalid arguments or exhausted memory at start;
    // a driver without a working lock must not go on.
    if (pthread_mutexattr_init(&attributes) != 0) std::abort();
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    if (pthread_mutex_init(&FMutex, &attributes) != 0) std::abort();
    pthread_mutexattr_destroy(&attributes);
}

TRecursiveLock::~TRecursiveLock() { pthread_mutex_destroy(&FMutex); }

void TRecursiveLock::Enter() { pthread_mutex_lock(&FMutex); }

void TRecursiveLock::Leave() { pthread_mutex_unlock(&FMutex); }

}  // namespace qmx
