// The framed port's receiver and Transact fed any byte stream in any
// chunking, through the scripted comm backend: the input is a list of
// chunks (a length byte, then that many bytes) that the line delivers after
// each request goes out. Whatever arrives, the transaction ends with link
// state 1, 2 or 3, status 100, and an accepted answer passes the check.

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "protocol/frame.h"
#include "serial/kalvor_port.h"
#include "support/scripted_comm.h"

namespace {

// What the line delivers after each request. The port's writer thread reads
// it (a write may still go out as the next input is set up), so it is
// guarded.
std::mutex gChunksLock;
std::vector<std::vector<std::uint8_t>> gChunks;

bool Check(void*, std::uint8_t, const std::uint8_t* answer, std::int32_t, std::uint8_t& received,
           std::uint8_t& expected) {
    return qmx::JudgeAnswer(answer, received, expected) == qmx::TAttemptVerdict::Valid;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qmx::test::TScriptedComm comm;
    static qmx::TKalvorComPort* port = [] {
        comm.InstantSleep = true;
        comm.DriverQueueLimit = 1 << 16;
        comm.OnWrite = [] {
            std::vector<std::vector<std::uint8_t>> chunks;
            {
                std::lock_guard lock(gChunksLock);
                chunks = gChunks;
            }
            for (const auto& chunk : chunks) comm.Receive(chunk);
        };
        auto* opened = new qmx::TKalvorComPort(1, comm);  // lives for the whole run
        opened->SetOnCheckAnswer(qmx::TAnswerCheck(&Check, nullptr));
        return opened;
    }();
    if (size < 1) return 0;
    const std::uint8_t expected = data[0];
    std::vector<std::vector<std::uint8_t>> chunks;
    for (std::size_t at = 1; at < size;) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        chunks.emplace_back(data + at + 1, data + at + 1 + length);
        at += 1 + length;
    }
    {
        std::lock_guard lock(gChunksLock);
        gChunks = std::move(chunks);
    }
    const std::uint8_t request[] = {0x02, 'L', '0', '1', 0x03, 0x4C};
    std::uint8_t answer[256] = {};
    if (port->Transact(17, request, sizeof request, answer, expected, 0, -1) != 0) std::abort();
    const qmx::TExchangeRecord& record = port->LastExchange();
    const std::uint8_t link = port->GetLinkState();
    if (expected != 0 && link != 1 && link != 2 && link != 3) std::abort();
    // Without an expected answer nothing is judged; with one, the record
    // says whether an answer stands in the buffer.
    if (expected == 0 && !record.Attempts.empty()) std::abort();
    if (expected != 0 && record.Accepted() != (answer[0] == 0x02)) std::abort();
    // An accepted answer stands in the buffer and passes the check. (The link
    // state alone does not tell: an STX arriving after the last wait sets it
    // to 1, as the port's receiver does by design.)
    if (answer[0] == 0x02 && qmx::JudgeAnswer(answer, expected, expected) != qmx::TAttemptVerdict::Valid)
        std::abort();
    if (answer[0] != 0x02 && answer[0] != 0) std::abort();  // nothing but an answer is copied
    return 0;
}
