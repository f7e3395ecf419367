#pragma once

// The client's side of an RFC 2217 session, as the connection carries it:
// Telnet decoded on the receiving thread, the server's option requests
// answered there, and the answers to the settings kept for the thread that
// waits for them.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "netline/net_device.h"
#include "netline/rfc2217.h"
#include "netline/telnet.h"
#include "platform/event.h"
#include "platform/recursive_lock.h"

namespace qmx::net {

class TRfc2217Client final : public TNetCodec {
public:
    TRfc2217Client();

    // The offers that open the session: COM-PORT-OPTION, binary both ways,
    // no go-aheads.
    std::vector<std::uint8_t> Opening();
    // Waits until the server has answered the opening: empty when the
    // session stands, else why it does not.
    std::string AwaitOpening(std::chrono::milliseconds limit);

    // A setting's bytes; its answer is awaited from now on.
    std::vector<std::uint8_t> Request(std::uint8_t command, std::uint32_t value);
    // A command whose answer nobody waits for (a purge).
    static std::vector<std::uint8_t> Command(std::uint8_t command, std::uint32_t value);
    // The answers to `commands` that came within `limit` (nothing where
    // none came), in the same order.
    std::vector<std::optional<std::uint32_t>> AwaitAnswers(const std::vector<std::uint8_t>& commands,
                                                           std::chrono::milliseconds limit);

    void Decode(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
                std::vector<std::uint8_t>& reply) override;
    void Encode(const std::uint8_t* data, std::size_t count, std::vector<std::uint8_t>& wire) override;

private:
    void Handle(const telnet::TCommand& command, std::vector<std::uint8_t>& reply);
    void HandleServerCommand(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& reply);

    struct TAnswer {
        bool Awaited = false;
        std::optional<std::uint32_t> Value;
    };

    TRecursiveLock FLock;
    TEvent FAnswered;  // auto: something came that a waiter may look at
    telnet::TDecoder FDecoder;
    telnet::TOptions FOptions;
    TAnswer FAnswers[rfc2217::kCommandCount];
};

}  // namespace qmx::net
