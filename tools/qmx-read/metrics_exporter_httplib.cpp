// The exporter on Debian's cpp-httplib, without TLS: plain HTTP is what a
// Prometheus on the station's network scrapes.

#include <httplib.h>

#include <fcntl.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "metrics_exporter.h"

namespace qmx::tools {
namespace {

using namespace std::chrono_literals;

// The exposition format's type; its label values are UTF-8.
constexpr const char* kMetricsType = "text/plain; version=0.0.4; charset=utf-8";
// The two servers of a Prometheus pair and a browser at once: a connection
// kept alive holds its thread for a few seconds between scrapes.
constexpr int kServingThreads = 4;

std::string LandingPage() {
    return std::string("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>qmx-read</title></head>\n"
                       "<body><h1>qmx-read ") +
           QMX_VERSION +
           "</h1>\n<p>A Quelmarox gauge's readings, from the reader's last round.</p>\n"
           "<p><a href=\"/metrics\">Metrics</a></p>\n</body></html>\n";
}

// httplib's own options share the port with any program that asks for it
// (SO_REUSEPORT): two readers given one port would split the scrapes
// between them. Here only a restart's lingering connections may share it.
void ListeningSocketOptions(socket_t socket) {
    int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    ::fcntl(socket, F_SETFD, FD_CLOEXEC);
}

class THttpExporter final : public TMetricsExporter {
public:
    explicit THttpExporter(std::string firstText) : FText(std::make_shared<const std::string>(std::move(firstText))) {
        FServer.new_task_queue = [] { return new httplib::ThreadPool(kServingThreads); };
        FServer.set_socket_options(ListeningSocketOptions);
        FServer.Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(*Current(), kMetricsType);
        });
        FServer.Get("/", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(LandingPage(), "text/html; charset=utf-8");
        });
        FServer.set_error_handler([](const httplib::Request&, httplib::Response& response) {
            if (response.status == 404)
                response.set_content("Not found: the metrics are at /metrics\n", "text/plain; charset=utf-8");
        });
    }
    ~THttpExporter() override {
        FServer.stop();
        if (FThread.joinable()) FThread.join();
    }
    THttpExporter(const THttpExporter&) = delete;
    THttpExporter& operator=(const THttpExporter&) = delete;

    bool Start(const TListenAddress& address, std::string& problem) {
        errno = 0;
        const int port = address.Port == 0 ? FServer.bind_to_any_port(address.Host)
                         : FServer.bind_to_port(address.Host, address.Port) ? address.Port
                                                                            : -1;
        if (port < 0) {
            problem = errno != 0 ? std::strerror(errno) : "the address cannot be bound";
            return false;
        }
        FUrl = "http://" + TListenAddress{address.Host, port}.Text();
        FThread = std::thread([this] {
            FServer.listen_after_bind();
            FEnded = true;
        });
        // stop() ends only a server that has started: until then the
        // destructor would wait on it for ever.
        while (!FServer.is_running() && !FEnded) std::this_thread::sleep_for(1ms);
        if (FEnded) problem = "the server did not start";
        return !FEnded;
    }

    void Publish(std::string text) override {
        auto next = std::make_shared<const std::string>(std::move(text));
        const std::lock_guard<std::mutex> lock(FLock);
        FText.swap(next);
    }
    std::string Url() const override { return FUrl; }

private:
    std::shared_ptr<const std::string> Current() {
        const std::lock_guard<std::mutex> lock(FLock);
        return FText;
    }

    std::mutex FLock;
    std::shared_ptr<const std::string> FText;
    httplib::Server FServer;
    std::thread FThread;
    std::atomic<bool> FEnded{false};
    std::string FUrl;
};

}  // namespace

std::unique_ptr<TMetricsExporter> StartMetricsExporter(const TListenAddress& address, std::string firstText,
                                                       std::string& problem) {
    auto exporter = std::make_unique<THttpExporter>(std::move(firstText));
    if (!exporter->Start(address, problem)) return nullptr;
    return exporter;
}

}  // namespace qmx::tools
