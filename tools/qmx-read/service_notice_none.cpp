#include "service_notice.h"

namespace qmx::tools {

// Windows, or a Linux build without libsystemd: no service manager to tell.

TServiceNotice::TServiceNotice() = default;

void TServiceNotice::Ready() const {}

void TServiceNotice::Status(const std::string&) const {}

void TServiceNotice::Alive() const {}

void NoticeStopping() {}

}  // namespace qmx::tools
