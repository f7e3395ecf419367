#pragma once

#include <stdexcept>

namespace qmx {

// Raised by an operation that has a place in the silo's table but no
// implementation, as the object model does for an abstract method.
class EAbstractError : public std::logic_error {
public:
    EAbstractError() : std::logic_error("Abstract Error") {}
};

}  // namespace qmx
