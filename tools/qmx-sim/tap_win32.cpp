#include "tap.h"

namespace qmx::sim {

std::optional<std::string> AddTap(const std::string& paths, TServedLine&, std::unique_ptr<TTap>&) {
    if (paths.empty()) return std::nullopt;
    return std::string("--tap needs a pty, and Windows has none");
}

}  // namespace qmx::sim
