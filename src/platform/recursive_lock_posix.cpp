#include "platform/recursive_lock.h"

#include <cstdlib>
#include <ctime>

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

bool TRecursiveLock::TryEnterFor(unsigned milliseconds) {
    // pthread_mutex_timedlock counts on the real-time clock.
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    const long long nanoseconds = until.tv_nsec + static_cast<long long>(milliseconds) * 1000000;
    until.tv_sec += static_cast<time_t>(nanoseconds / 1000000000);
    until.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    return pthread_mutex_timedlock(&FMutex, &until) == 0;
}

void TRecursiveLock::Leave() { pthread_mutex_unlock(&FMutex); }

}  // namespace qmx
