#include "sim_server.h"

#include <algorithm>
#include <stdexcept>
#include <optional>

#ifndef _WIN32
#include "fd_line.h"
#endif

namespace qmx::sim {

TSimServer::TSimServer(TAnswerer& answerer, std::unique_ptr<TSimLine> line, TWireTrace* trace)
    : FAnswerer(answerer), FLine(std::move(line)), FTrace(trace) {
    if (!FFinished.Create(TEvent::TReset::Manual) || !FThread.Start(&TSimServer::ThreadMain, this, 0))
        throw std::runtime_error("cannot start the simulator's thread");
}

#ifndef _WIN32
TSimServer::TSimServer(TAnswerer& answerer, int fd, TWireTrace* trace)
    : TSimServer(answerer, std::make_unique<TFdLine>(fd), trace) {}
#endif

TSimServer::~TSimServer() { Stop(); }

void TSimServer::Stop() {
    if (FStopping.exchange(true)) return;
    FLine->Interrupt();
    FFinished.Wait(kWaitForever);
    FThread.Release();
}

void TSimServer::ThreadMain(void* server) {
    auto* self = static_cast<TSimServer*>(server);
    self->Run();
    self->FFinished.Set();
}

bool TSimServer::RestUntil(TClock::time_point when) {
    const auto now = TClock::now();
    if (when <= now) return !FStopping;
    return FLine->Rest(std::chrono::ceil<std::chrono::microseconds>(when - now));
}

bool TSimServer::Put(const std::uint8_t* data, std::size_t count) {
    const std::size_t sent = FLine->Send(data, count);
    if (FTrace != nullptr) FTrace->Log(TWireTrace::TDirection::Sent, data, sent);
    return sent == count;
}

void TSimServer::SendPaced(const std::vector<std::uint8_t>& bytes, std::chrono::microseconds perCharacter) {
    // A byte goes once the line would have carried its last bit; on a
    // coarse timer the bytes whose time has come go together, so the whole
    // answer still takes its true time. The trace shows the answer whole,
    // once it has gone.
    const auto start = TClock::now();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto due = static_cast<std::size_t>((TClock::now() - start) / perCharacter);
        if (due <= sent) {
            if (!RestUntil(start + perCharacter * static_cast<long long>(sent + 1))) break;
            continue;
        }
        const std::size_t count = std::min(due, bytes.size()) - sent;
        const std::size_t put = FLine->Send(bytes.data() + sent, count);
        sent += put;
        if (put != count) break;
    }
    if (FTrace != nullptr) FTrace->Log(TWireTrace::TDirection::Sent, bytes.data(), sent);
}

void TSimServer::Send(const TReply& reply, TClock::time_point earliest) {
    const std::chrono::microseconds pacing(FPacing.load());
    if (pacing.count() > 0 && !RestUntil(earliest)) return;
    if (reply.DelayMs > 0 && !FLine->Rest(std::chrono::milliseconds(reply.DelayMs))) return;
    if (reply.ByteGapMs > 0) {
        const std::chrono::microseconds gap = std::max<std::chrono::microseconds>(
            std::chrono::milliseconds(reply.ByteGapMs), pacing);
        for (std::size_t at = 0; at < reply.Bytes.size(); ++at) {
            // The first byte, too, is there only once the line has carried it.
            const auto wait = at == 0 ? pacing : gap;
            if (wait.count() > 0 && !FLine->Rest(wait)) return;
            if (!Put(reply.Bytes.data() + at, 1)) return;
        }
    } else if (pacing.count() > 0) {
        SendPaced(reply.Bytes, pacing);
    } else {
        Put(reply.Bytes.data(), reply.Bytes.size());
    }
}

// A part's time is reckoned from its own request, never from when the one
// before was done: a request that comes while an answer plays is heard at
// once, and the line's rate is in the recorded times.
void TSimServer::Schedule(const std::vector<TReplyPart>& parts, TClock::time_point requested) {
    for (const auto& part : parts) FDue.emplace(requested + std::chrono::milliseconds(part.AtMs), part.Bytes);
}

std::chrono::microseconds TSimServer::PlayDue() {
    bool played = false;
    while (!FDue.empty() && !FStopping) {
        const auto next = FDue.begin();
        const auto now = TClock::now();
        if (next->first > now) return std::chrono::ceil<std::chrono::microseconds>(next->first - now);
        const bool whole = Put(next->second.data(), next->second.size());
        played = true;
        FDue.erase(next);
        if (!whole) FDue.clear();  // the line has gone
    }
    // The last part played: the line waits for a request, which may be long.
    if (played && FTrace != nullptr) FTrace->Flush();
    return kUntilBytes;
}

void TSimServer::Take(TRequestParser& parser, const std::uint8_t* bytes, std::size_t count, TClock::time_point& began) {
    for (const auto& request : parser.Feed(bytes, count)) {
        ++FRequests;
        const double elapsed = std::chrono::duration<double>(TClock::now() - FStart).count();
        std::optional<TReply> reply;
        {
            TLockGuard lock(FGaugeLock);
            reply = FAnswerer.Answer(request, elapsed);
        }
        if (reply && !reply->Parts.empty()) {
            Schedule(reply->Parts, began);
            continue;
        }
        const auto arrived = began + std::chrono::microseconds(FPacing.load()) * static_cast<long long>(request.size());
        if (reply) Send(*reply, arrived);
        // The answer has gone whole: its line need not wait for the next request.
        if (reply && FTrace != nullptr) FTrace->Flush();
        // A request that came along with this one is taken as arriving
        // once this answer has gone.
        began = TClock::now();
        if (FStopping) return;
    }
}

void TSimServer::Run() {
    TRequestParser parser;
    std::uint8_t buffer[512];
    // When the bytes of the request being gathered began to arrive.
    std::optional<TClock::time_point> requestBegan;
    int connection = FLine->Connection();
    while (!FStopping) {
        const std::size_t got = FLine->Receive(buffer, sizeof buffer, PlayDue());
        if (FLine->Connection() != connection) {
            // A new client: nothing of the last one's is its.
            connection = FLine->Connection();
            parser = TRequestParser();
            requestBegan.reset();
            FDue.clear();
        }
        if (got == 0) continue;
        if (!requestBegan) requestBegan = TClock::now();
        if (FTrace != nullptr) FTrace->Log(TWireTrace::TDirection::Received, buffer, got);
        Take(parser, buffer, got, *requestBegan);
        // Bytes after the last whole request begin the next one.
        if (!parser.InFrame()) requestBegan.reset();
    }
}

}  // namespace qmx::sim
