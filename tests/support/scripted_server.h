#pragma once

// A device server on loopback for tests, written from the RFC's wire format
// with no code of the backend's but the Telnet decoder: it takes one
// client and answers the COM-PORT option and each setting as its script
// says, keeping every sub-negotiation and every byte of the line it got.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "netline/telnet.h"

namespace qmx::test {

struct TServerScript {
    bool RefuseComPort = false;  // DONT COM-PORT-OPTION to the client's WILL
    bool ControlSilent = false;  // never answers SET-CONTROL
    // A setting (SET-BAUDRATE = 1, SET-DATASIZE = 2 ...) answered with
    // this value, whatever was asked.
    std::map<std::uint8_t, std::uint32_t> Answers = {};
    // The same for every client after the first: a server set up anew.
    std::map<std::uint8_t, std::uint32_t> LaterAnswers = {};
};

class TScriptedServer {
public:
    explicit TScriptedServer(TServerScript script) : FScript(std::move(script)) {
        FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(FListen, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(FListen, 1) != 0)
            throw std::runtime_error("cannot listen on loopback");
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
        FThread = std::thread([this] { Serve(); });
    }
    ~TScriptedServer() {
        FStop = true;
        FThread.join();
        if (FClient >= 0) ::close(FClient);
        ::close(FListen);
    }

    std::uint16_t Port() const { return FPort; }
    // The client's COM-PORT sub-negotiations, each its command and value bytes.
    std::vector<std::vector<std::uint8_t>> Requests() {
        std::lock_guard lock(FMutex);
        return FRequests;
    }
    std::vector<std::uint8_t> LineBytes() {
        std::lock_guard lock(FMutex);
        return FLine;
    }
    std::vector<std::uint8_t> Raw() {
        std::lock_guard lock(FMutex);
        return FRaw;
    }
    // Ends the client's connection, as a server that restarts; the next
    // client is served.
    void DropClient() { FDrop = true; }
    // Bytes to the client as they are (escaping is the caller's).
    void Send(const std::vector<std::uint8_t>& bytes) {
        std::lock_guard lock(FMutex);
        FToSend.insert(FToSend.end(), bytes.begin(), bytes.end());
    }

private:
    void Serve() {
        using namespace net::telnet;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        net::telnet::TDecoder decoder;
        while (!FStop && std::chrono::steady_clock::now() < until) {
            pollfd fds[1] = {{FClient >= 0 ? FClient : FListen, POLLIN, 0}};
            ::poll(fds, 1, 5);
            std::vector<std::uint8_t> out;
            {
                std::lock_guard lock(FMutex);
                out.swap(FToSend);
            }
            if (FClient >= 0 && FDrop.exchange(false)) {
                EndClient();
                continue;
            }
            if (FClient >= 0 && !out.empty()) ::send(FClient, out.data(), out.size(), MSG_NOSIGNAL);
            if ((fds[0].revents & POLLIN) == 0) continue;
            if (FClient < 0) {
                FClient = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
                continue;
            }
            std::uint8_t chunk[512];
            const ssize_t got = ::recv(FClient, chunk, sizeof chunk, 0);
            if (got <= 0) {
                EndClient();
                continue;
            }
            std::vector<std::uint8_t> data, reply;
            std::vector<TCommand> commands;
            decoder.Feed(chunk, static_cast<std::size_t>(got), data, commands);
            for (const auto& command : commands) Answer(command, reply);
            {
                std::lock_guard lock(FMutex);
                FRaw.insert(FRaw.end(), chunk, chunk + got);
                FLine.insert(FLine.end(), data.begin(), data.end());
            }
            if (!reply.empty()) ::send(FClient, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
    }

    void EndClient() {
        ::close(FClient);
        FClient = -1;
        ++FClientsServed;
    }

    void Answer(const net::telnet::TCommand& command, std::vector<std::uint8_t>& reply) {
        using namespace net::telnet;
        if (command.Verb == WILL)
            reply.insert(reply.end(), {IAC, command.Option == kComPortOption && FScript.RefuseComPort ? DONT : DO,
                                       command.Option});
        if (command.Verb == DO) reply.insert(reply.end(), {IAC, WILL, command.Option});
        if (command.Verb != SB || command.Option != kComPortOption || command.Bytes.empty()) return;
        {
            std::lock_guard lock(FMutex);
            FRequests.push_back(command.Bytes);
        }
        std::vector<std::uint8_t> answer = command.Bytes;
        const std::uint8_t code = answer[0];
        if (code == 5 && FScript.ControlSilent) return;
        const auto& answers = FClientsServed > 0 ? FScript.LaterAnswers : FScript.Answers;
        if (const auto scripted = answers.find(code); scripted != answers.end()) {
            const std::uint32_t value = scripted->second;
            if (code == 1)
                answer = {1, static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
            else
                answer.back() = static_cast<std::uint8_t>(value);
        }
        answer[0] = static_cast<std::uint8_t>(code + 100);
        reply.insert(reply.end(), {IAC, SB, kComPortOption});
        for (std::uint8_t byte : answer) {
            reply.push_back(byte);
            if (byte == IAC) reply.push_back(IAC);
        }
        reply.insert(reply.end(), {IAC, SE});
    }

    const TServerScript FScript;
    int FListen = -1;
    int FClient = -1;
    std::uint16_t FPort = 0;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FDrop{false};
    int FClientsServed = 0;
    std::mutex FMutex;
    std::vector<std::vector<std::uint8_t>> FRequests;
    std::vector<std::uint8_t> FLine, FRaw, FToSend;
    std::thread FThread;
};

}  // namespace qmx::test
