#pragma once

// The silos that are alive. The host may call a method reference it was
// handed (the answer check, the line set-up, the menu entry's click handler)
// after it destroyed the silo behind it; every such reference asks here
// first and does nothing for a silo that is gone. (A silo made later at the
// same address receives such a call as its own.)

#include <vector>

#include "platform/method_ref.h"
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

// The code of every method reference a silo hands out, and so the one place
// that asks whether the silo is alive: the native route, the host's entry
// points at the library's edge and the port's answer check all come
// through here. For a silo that is gone it calls nothing and returns the
// result's default (false, for the answer check).
template <auto Method>
struct TReachSilo;

template <class TObject, class R, class... Args, R (TObject::*Method)(Args...)>
struct TReachSilo<Method> {
    static R Call(void* silo, Args... args) {
        if (!LiveSilos().Contains(silo)) return R();
        return (static_cast<TObject*>(silo)->*Method)(args...);
    }
    static TMethodRef<R(Args...)> Bound(TObject* silo) { return TMethodRef<R(Args...)>(&Call, silo); }
};

}  // namespace qmx
