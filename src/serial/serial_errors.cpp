#include "serial/serial_errors.h"


namespace qmx {

std::string FormatPortMessage(const char* format, std::uint16_t port) {
    std::string message(format);
    const auto at = message.find("%d");
    if (at != std::string::npos) message.replace(at, 2, std::to_string(port));
    return message;
}

ESerialIO::ESerialIO() : std::runtime_error("Не удается переключить RTS") {}

ESerialIO::ESerialIO(const std::string& message, TSerialFailure failure)
    : std::runtime_error(message), FFailure(failure) {}

ESerialIO::ESerialIO(const std::string& message, const std::string& setting, const std::string& answered)
    : std::runtime_error(message),
      FFailure(TSerialFailure::Refused),
      FSetting(setting),
      FAnswer(answered) {}

ENotSupported::ENotSupported(TWhat what, std::uint16_t port)
    : ESerialIO(FormatPortMessage(what == TWhat::QueueSizes
                                      ? "Setup parameter not supported for COM%d"
                                      : "Parameter not supported for COM%d",
                                  port)) {}

EOpenPortFail::EOpenPortFail(std::uint16_t port)
    : ESerialIO(FormatPortMessage("Невозможно открыть COM%d", port), TSerialFailure::Absent) {}

EOutputBufferTooSmall::EOutputBufferTooSmall(std::uint16_t port)
    : ESerialIO(FormatPortMessage("Buffer too small for port COM%d", port)) {}

EBufferIsEmpty::EBufferIsEmpty(std::uint16_t port)
    : ESerialIO(FormatPortMessage("Buffer is empty for port COM%d", port)) {}

EPortNotOpen::EPortNotOpen(std::uint16_t port)
    : ESerialIO(FormatPortMessage("Port COM%d not open", port)) {}

}  // namespace qmx
