// The exporter on the tools' own HTTP server (src/netline), without TLS:
// plain HTTP is what a Prometheus on the station's network scrapes. It
// replaced Debian's cpp-httplib 0.11.4, which gives a thread to each
// connection from a fixed pool, has no deadline for a request as a whole
// (only for each read) and no bound on the number of headers.

#include <sys/socket.h>

#include <cstring>
#include <mutex>

#include "metrics_exporter.h"
#include "netline/http_server.h"
#include "station_page.h"

namespace qmx::tools {
namespace {

// The exposition format's type; its label values are UTF-8.
constexpr const char* kMetricsType = "text/plain; version=0.0.4; charset=utf-8";
constexpr const char* kJsonType = "application/json; charset=utf-8";

class THttpExporter final : public TMetricsExporter {
public:
    THttpExporter(net::TListener listener, TExported first)
        : FTexts(std::make_shared<const TExported>(std::move(first))),
          FUrl("http://" + listener.Host() + ":" + std::to_string(listener.Port())),
          FServer(std::move(listener), [this](const net::THttpRequest& request) { return Page(request); }) {}

    void Publish(TExported texts) override {
        auto next = std::make_shared<const TExported>(std::move(texts));
        const std::lock_guard<std::mutex> lock(FLock);
        FTexts.swap(next);
    }
    std::string Url() const override { return FUrl; }

private:
    net::THttpResponse Page(const net::THttpRequest& request) {
        if (request.Path == "/metrics") return {200, kMetricsType, Current()->Metrics, ""};
        if (request.Path == "/tanks.json") return {200, kJsonType, Current()->Tanks, ""};
        if (request.Path == "/") return {200, "text/html; charset=utf-8", std::string(StationPage()), ""};
        return {404, "text/plain; charset=utf-8", "Not found: the metrics are at /metrics\n", ""};
    }
    std::shared_ptr<const TExported> Current() {
        const std::lock_guard<std::mutex> lock(FLock);
        return FTexts;
    }

    std::mutex FLock;
    std::shared_ptr<const TExported> FTexts;
    const std::string FUrl;
    net::THttpServer FServer;  // last: it serves from the members above
};

}  // namespace

std::unique_ptr<TMetricsExporter> StartMetricsExporter(const TListenAddress& address, TExported first,
                                                       std::string& problem) {
    int error = 0;
    // Room for a burst of connections while the server's one thread serves.
    net::TListener listener =
        net::TListener::Bind(address.Host, static_cast<std::uint16_t>(address.Port), SOMAXCONN, error);
    if (!listener.Valid()) {
        problem = std::strerror(error);
        return nullptr;
    }
    return std::make_unique<THttpExporter>(std::move(listener), std::move(first));
}

}  // namespace qmx::tools
