// The reader's HTTP server under the clients a station's network may hold:
// 50 idle connections and 4 sending a header byte at a time while a
// scraper asks 20 times (each answer's time; the target: all within 1 s),
// then requests of 200,000 and 400,000 headers (their answer; the target:
// refused, with the server's memory where it was before them).
//
//   exporter_bench [RESULTS.json]

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "netline/http_server.h"
#include "support/http_client.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qmx;
    const std::string page(12000, '#');  // about a station's metrics
    int error = 0;
    const auto answer = [&page](const net::THttpRequest&) { return net::THttpResponse{200, "text/plain", page, ""}; };
    net::THttpServer server(net::TListener::Bind("127.0.0.1", 0, SOMAXCONN, error), answer);
    const int port = server.Listener().Port();
    const long before = ResidentKiB();

    std::vector<std::unique_ptr<test::TSocket>> idle, slow;
    for (int i = 0; i < 50; ++i) idle.push_back(test::Connect("127.0.0.1", port));
    for (int i = 0; i < 4; ++i) {
        slow.push_back(test::Connect("127.0.0.1", port));
        ::send(slow.back()->Fd, "GET /metrics HTTP/1.1\r\nHo", 25, MSG_NOSIGNAL);
    }
    std::vector<double> scrapes;
    int good = 0;
    for (int i = 0; i < 20; ++i) {
        for (const auto& client : slow) ::send(client->Fd, "o", 1, MSG_NOSIGNAL);
        const auto asked = TClock::now();
        good += test::Get("127.0.0.1", port, "/metrics").Body == page ? 1 : 0;
        scrapes.push_back(std::chrono::duration<double, std::milli>(TClock::now() - asked).count());
        std::this_thread::sleep_for(100ms);
    }
    std::sort(scrapes.begin(), scrapes.end());

    std::string floods;
    for (const int headers : {200000, 400000})
        for (int i = 0; i < 5; ++i)
            floods += (floods.empty() ? "\"" : ",\"") + test::Flood(port, headers).substr(0, 12) + "\"";
    const long after = ResidentKiB();

    std::printf("%-52s %d of 20\n", "good scrapes beside 50 idle and 4 slow clients", good);
    std::printf("%-52s %.2f ms median, %.2f ms slowest (target: 1000 ms)\n", "their answers", scrapes[10],
                scrapes.back());
    std::printf("%-52s %s\n", "answers to 200,000 and 400,000 headers (5 each)", floods.c_str());
    // The clients' memory counts too: they run in this process.
    std::printf("%-52s %ld KiB before, %ld KiB after (target: 4 MiB more at most)\n", "resident memory", before,
                after);
    const bool met = good == 20 && scrapes.back() < 1000 && floods.find("200") == std::string::npos &&
                     after - before < 4096;
    if (argc > 1) {
        std::ofstream out(argv[1]);
        out << "{\n  \"good_scrapes\": " << good << ",\n  \"scrape_median_ms\": " << scrapes[10]
            << ",\n  \"scrape_slowest_ms\": " << scrapes.back() << ",\n  \"flood_answers\": [" << floods
            << "],\n  \"rss_before_kib\": " << before << ",\n  \"rss_after_kib\": " << after
            << ",\n  \"targets_met\": " << (met ? "true" : "false") << "\n}\n";
    }
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return met ? 0 : 1;
}
