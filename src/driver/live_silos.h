#pragma once

// The silos that are alive. The host may call a method reference it was
// handed (the answer check, the line set-up, the menu entry's click handler)
// after it destroyed the silo behind it; every such reference asks here
// first and does nothing for a silo that is gone. (A silo made later at the
// same address receives such a call as its own.)

#include <vector>

#include "platform/recursive_lock.h"

namespace qmx {

class TLiveSilos {
public:
    void Add(const void* silo);
    void Remove(const void* silo);
    bool Contains(const void* silo);

private:
    TRecursiveLock FLock;
    std::vector<const void*> FLive;
};

TLiveSilos& LiveSilos();

}  // namespace qmx
