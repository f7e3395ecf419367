#pragma once

// The serial layer reports every failure as an exception of this family.
// Messages name the port the way the operator knows it (COM3), and the
// Russian ones are code page 1251 bytes, as the host shows them.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qmx {

// What failed, for a caller that acts on it: a device that is not there
// may come, one that refused a setting stays so until someone changes it.
enum class TSerialFailure : std::uint8_t {
    InputOutput,  // the device is there, but a call on it failed
    Absent,       // the device cannot be reached or opened
    Refused,      // it answered a setting with another value
};

class ESerialIO : public std::runtime_error {
public:
    // The plain message of a failed escape function (RTS).
    ESerialIO();
    explicit ESerialIO(const std::string& message, TSerialFailure failure = TSerialFailure::InputOutput);
    // A refused setting ("data size"), with what the device answered ("8").
    ESerialIO(const std::string& message, const std::string& setting, const std::string& answered);

    TSerialFailure Failure() const { return FFailure; }
    // With a refusal: the setting ("data size") and what the device answered ("8").
    const std::string& Setting() const { return FSetting; }
    const std::string& Answer() const { return FAnswer; }

private:
    TSerialFailure FFailure = TSerialFailure::InputOutput;
    std::string FSetting;
    std::string FAnswer;
};

class ENotSupported : public ESerialIO {
public:
    enum class TWhat { QueueSizes, LineSettings };
    ENotSupported(TWhat what, std::uint16_t port);
};

// The device is absent.
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
