#pragma once

// Who serves on a link: a lock file beside it (LINK.lock) that a running
// simulator holds locked and names itself in. A second simulator given the
// same link is refused with the holder's pid instead of taking the link
// over; the lock of one that was killed goes with its process.

#include <string>

namespace qmx::sim {

class TLinkLock {
public:
    // Takes the lock of `link`; raises std::runtime_error ("qmx-sim pid 41
    // serves on it", or why the lock file cannot be made) when it cannot.
    explicit TLinkLock(const std::string& link);
    ~TLinkLock();
    TLinkLock(const TLinkLock&) = delete;
    TLinkLock& operator=(const TLinkLock&) = delete;

private:
    std::string FPath;
    int FFd = -1;
};

}  // namespace qmx::sim
