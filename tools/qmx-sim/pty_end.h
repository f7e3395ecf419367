#pragma once

// The simulator's own pty on Linux: its master is the simulator's end of
// the line, its slave's path is what the driver opens. Optionally a
// symbolic link names the slave; only a link of this kind is ever
// replaced or removed, and never one another simulator serves on.

#include <memory>
#include <optional>
#include <string>

#include "link_lock.h"

namespace qmx::sim {

// Why `path` may not become the simulator's link, or nothing when it may:
// it does not exist, or it is a symbolic link to a pty, as this program
// leaves behind.
std::optional<std::string> LinkRefusal(const std::string& path);

class TPtyEnd {
public:
    // Makes the pty, raw, and the link when `link` is not empty; raises
    // std::runtime_error with the reason when either cannot be made.
    explicit TPtyEnd(const std::string& link = std::string());
    ~TPtyEnd();
    TPtyEnd(const TPtyEnd&) = delete;
    TPtyEnd& operator=(const TPtyEnd&) = delete;

    int Master() const { return FMaster; }
    // Removes the link now, if it is still this pty's: the first step of a
    // stop, before anything that may block.
    void RemoveLink();
    // The link when there is one, else the slave's path.
    const std::string& Name() const { return FLink.empty() ? FSlavePath : FLink; }

private:
    void OpenPty();

    int FMaster = -1;
    // Kept open so that the pty lives on between the driver's openings;
    // the driver's own opening is what is used.
    int FSlave = -1;
    std::string FSlavePath;
    std::string FLink;
    std::unique_ptr<TLinkLock> FLinkLock;  // while the link is this pty's
};

}  // namespace qmx::sim
