// The simulator as a device server's port: the RFC 2217 settings it
// records, the gauge that refuses 7E1, one client at a time with the
// newest winning, and its --listen option.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gauge.h"
#include "sim_options.h"
#include "sim_server.h"
#include "socket_line.h"

namespace qmx::sim {
namespace {

using namespace std::chrono_literals;
using TBytes = std::vector<std::uint8_t>;

int ConnectTo(std::uint16_t port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ADD_FAILURE() << "connect";
    return fd;
}

// What arrives on `fd` within `limit`: at least `count` bytes, or an end.
TBytes ReadSome(int fd, std::size_t count, std::chrono::milliseconds limit, bool* closed = nullptr) {
    TBytes got;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (got.size() < count && std::chrono::steady_clock::now() < until) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 20) <= 0) continue;
        std::uint8_t chunk[256];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            if (closed != nullptr) *closed = true;
            break;
        }
        got.insert(got.end(), chunk, chunk + n);
    }
    return got;
}

// Whatever the client before did, the next one is answered within 3 s.
enum class TOldClient { ReadAndStayed, NeverReads, LeftHalfARequest };

TEST(SimSocketLine, ANewClientReplacesTheOneBefore) {
    const TBytes request{0x02, 'L', '0', '1', 0x03, 0x4C};
    for (const auto old : {TOldClient::ReadAndStayed, TOldClient::NeverReads, TOldClient::LeftHalfARequest}) {
        TGauge gauge;
        auto owned = std::make_unique<TSocketLine>(net::TNetAddress{net::TNetAddress::TKind::Socket, "", 0}, false);
        TSocketLine& line = *owned;
        ASSERT_EQ(line.Name().rfind("socket://127.0.0.1:", 0), 0u) << "loopback when no host is named: " << line.Name();
        const auto port = static_cast<std::uint16_t>(std::stoi(line.Name().substr(line.Name().rfind(':') + 1)));
        TSimServer server(gauge, std::move(owned));

        const int first = ConnectTo(port, old == TOldClient::NeverReads ? 2048 : 0);
        if (old == TOldClient::ReadAndStayed) {
            ASSERT_EQ(::send(first, request.data(), request.size(), 0), 6);
            EXPECT_EQ(ReadSome(first, 43, 3000ms).size(), 43u) << "the first client is answered";
        } else if (old == TOldClient::NeverReads) {
            // Requests until the simulator takes no more, none of the
            // answers taken: it is left stuck sending.
            const TBytes many = [&] {
                TBytes bytes;
                for (int i = 0; i < 1000; ++i) bytes.insert(bytes.end(), request.begin(), request.end());
                return bytes;
            }();
            auto taken = std::chrono::steady_clock::now();
            for (const auto until = taken + 20s; std::chrono::steady_clock::now() < std::min(until, taken + 300ms);)
                if (::send(first, many.data(), many.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0)
                    taken = std::chrono::steady_clock::now();
        } else {
            ASSERT_EQ(::send(first, request.data(), 3, 0), 3);  // STX L0
            ::close(first);
            for (const auto until = std::chrono::steady_clock::now() + 3s;
                 line.Clients() < 1 && std::chrono::steady_clock::now() < until;)
                std::this_thread::sleep_for(10ms);
        }

        const int second = ConnectTo(port);
        if (old == TOldClient::ReadAndStayed) {
            bool firstClosed = false;
            ReadSome(first, 1, 3000ms, &firstClosed);
            EXPECT_TRUE(firstClosed) << "the old client is let go";
        }
        ASSERT_EQ(::send(second, request.data(), request.size(), 0), 6);
        EXPECT_EQ(ReadSome(second, 43, 3000ms).size(), 43u) << "the new client is answered, case " << static_cast<int>(old);
        EXPECT_EQ(line.Clients(), 2);
        if (old != TOldClient::LeftHalfARequest) ::close(first);
        ::close(second);
    }
}

TEST(SimOptions, ListenTakesANetworkPortAndExcludesTheOtherLines) {
    struct TCase {
        std::vector<std::string> Arguments;
        const char* Problem;  // null: taken
    };
    const TCase cases[] = {
        {{"--listen", "rfc2217://:2217"}, nullptr},
        {{"--listen", "socket://[::1]:0"}, nullptr},
        {{"--listen", "rfc2217://:0", "--fault", "refuse-settings"}, nullptr},
        {{"--listen", "socket://:0", "--fault", "refuse-settings"}, "goes with --listen rfc2217://"},
        {{"--fault", "refuse-settings"}, "goes with --listen rfc2217://"},
        {{"--listen", "rfc2217://:0", "--link", "/tmp/gauge"}, "cannot go together"},
        {{"--listen", "rfc2217://:0", "--device", "/dev/pts/9"}, "cannot go together"},
        {{"--listen", "/dev/ttyUSB0"}, "is no network port"},
        {{"--listen", "rfc2217://:99999"}, "from 0 to 65535"},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseSimOptions(c.Arguments);
        const auto* problem = std::get_if<std::string>(&parsed);
        if (c.Problem == nullptr) {
            EXPECT_EQ(problem, nullptr) << c.Arguments[1] << ": " << *problem;
            continue;
        }
        ASSERT_NE(problem, nullptr) << c.Arguments[1];
        EXPECT_NE(problem->find(c.Problem), std::string::npos) << *problem;
    }
}

}  // namespace
}  // namespace qmx::sim
