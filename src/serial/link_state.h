#pragma once

// The outcome of an exchange, one byte, as the silo and its framed port both
// keep it. A value the host hands the silo is stored as it comes, so the
// byte may hold others; these are the ones an exchange leaves.

#include <cstdint>

namespace qmx {

enum TLinkState : std::uint8_t {
    kLinkValid = 1,     // a valid answer
    kLinkNoAnswer = 2,  // nothing that opened an answer arrived
    kLinkInvalid = 3,   // an answer the check rejected, or a value that is not valid
};

}  // namespace qmx
