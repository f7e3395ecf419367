#include <atomic>
#include <cstdlib>
#include <thread>

#include "exit_deadline.h"

namespace qmx::tools {

void ExitAfter(int status, std::chrono::milliseconds grace) {
    static std::atomic<bool> armed{false};
    if (armed.exchange(true)) return;
    std::thread([status, grace] {
        std::this_thread::sleep_for(grace);
        std::_Exit(status);
    }).detach();
}

}  // namespace qmx::tools
