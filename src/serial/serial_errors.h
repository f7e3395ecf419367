#pragma once

// The serial layer reports every failure as an exception of this family.
// Messages name the port the way the operator knows it (COM3), and the
// Russian ones are code page 1251 bytes, as the host shows them.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qmx {

class ESerialIO : public std::runtime_error {
public:
    // The plain message of a failed escape function (RTS).
    ESerialIO();
    explicit ESerialIO(const std::string& message);
};

class ENotSupported : public ESerialIO {
public:
    enum class TWhat { QueueSizes, LineSettings };
    ENotSupported(TWhat what, std::uint16_t port);
};

class EOpenPortFail : public ESerialIO {
public:
    explicit EOpenPortFail(std::uint16_t port);
};

class EOutputBufferTooSmall : public ESerialIO {
public:
    explicit EOutputBufferTooSmall(std::uint16_t port);
};

class EBufferIsEmpty : public ESerialIO {
public:
    explicit EBufferIsEmpty(std::uint16_t port);
};

class EPortNotOpen : public ESerialIO {
public:
    explicit EPortNotOpen(std::uint16_t port);
};

// Fills the one "%d" of `format` with the port number in decimal.
std::string FormatPortMessage(const char* format, std::uint16_t port);

}  // namespace qmx
