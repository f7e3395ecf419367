#pragma once

// One exchange as it happened: the request it was for, each attempt's
// bytes, times and verdict, and the link state it left. The framed port
// keeps it as the exchange goes; the silo, its metrics, the reader, the
// wire trace and the monitor read it, so that no one parses the request
// again or judges an attempt a second time. Everything is held in place: an
// exchange allocates nothing.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/attempt_verdict.h"
#include "protocol/frame.h"
#include "protocol/queries.h"

namespace qmx {

// The attempts the driver makes at one request before it gives up.
constexpr std::size_t kMaxAttempts = 3;

// Up to N bytes, in place.
template <std::size_t N>
class TFixedBytes {
public:
    TFixedBytes() = default;
    TFixedBytes(const std::vector<std::uint8_t>& bytes) { assign(bytes.begin(), bytes.end()); }

    // Keeps the first N of them.
    template <class TIterator>
    void assign(TIterator first, TIterator last) {
        FSize = 0;
        for (; first != last && FSize < N; ++first) FData[FSize++] = static_cast<std::uint8_t>(*first);
    }
    void assign(const std::uint8_t* bytes, std::size_t count) { assign(bytes, bytes + count); }
    // Grows with zero bytes, up to N.
    void resize(std::size_t size) {
        size = std::min(size, N);
        std::fill(FData.begin() + static_cast<std::ptrdiff_t>(std::min(FSize, size)),
                  FData.begin() + static_cast<std::ptrdiff_t>(size), 0);
        FSize = size;
    }
    std::size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    std::uint8_t* data() { return FData.data(); }
    const std::uint8_t* data() const { return FData.data(); }
    std::uint8_t& operator[](std::size_t at) { return FData[at]; }
    std::uint8_t operator[](std::size_t at) const { return FData[at]; }
    const std::uint8_t* begin() const { return FData.data(); }
    const std::uint8_t* end() const { return FData.data() + FSize; }
    std::string Text() const { return std::string(begin(), end()); }

private:
    std::array<std::uint8_t, N> FData{};
    std::size_t FSize = 0;
};

struct TAttemptRecord {
    TFixedBytes<kFrameAreaSize> Answer;  // collected from the STX on, as judged
    std::size_t BytesBeforeStx = 0;      // dropped while awaiting the STX
    // Frames dropped as answers to another request, and the request the
    // last of them answered ("L04").
    std::size_t OtherAnswers = 0;
    TFixedBytes<kPayloadLength> OtherRequest;
    bool SendFailed = false;  // the request could not be put out
    bool OverLong = false;    // the answer ran past the longest frame
    TAttemptVerdict Verdict = TAttemptVerdict::NoAnswer;
    // On the recorder's clock, in milliseconds: when the request went out
    // and when the answer was judged.
    std::uint32_t SentAt = 0;
    std::uint32_t JudgedAt = 0;

    bool Accepted() const { return Verdict == TAttemptVerdict::Valid; }
};

// The attempts of one exchange, the last kMaxAttempts of them kept (a
// host's block may show the check more); those let go are counted.
class TAttempts {
public:
    TAttemptRecord& emplace_back();
    void push_back(const TAttemptRecord& attempt) { emplace_back() = attempt; }
    void clear() { *this = TAttempts(); }

    std::size_t size() const { return FCount; }
    bool empty() const { return FCount == 0; }
    TAttemptRecord& back() { return FItems[FCount - 1]; }
    const TAttemptRecord& back() const { return FItems[FCount - 1]; }
    const TAttemptRecord& front() const { return FItems[0]; }
    const TAttemptRecord* begin() const { return FItems.data(); }
    const TAttemptRecord* end() const { return FItems.data() + FCount; }
    // All made, those let go included, and of those the failed ones.
    std::size_t Made() const { return FLetGo + FCount; }
    int LetGoFailed() const { return FLetGoFailed; }

private:
    std::array<TAttemptRecord, kMaxAttempts> FItems{};
    std::size_t FCount = 0;
    std::size_t FLetGo = 0;
    int FLetGoFailed = 0;
};

struct TExchangeRecord {
    // The request's payload, and the query and tank it names (L and tank
    // index 0 when it has not the queries' shape).
    TFixedBytes<kMaxPayload> Request;
    TQuery Query = TQuery::Level;
    std::uint8_t Tank = 0;  // index, 0 to 98
    std::uint8_t ExpectedLength = 0;
    TAttempts Attempts;
    std::uint8_t LinkState = 0;  // as the exchange left it
    // What the transport returned for the whole exchange: 0 when it carried
    // it out (the silo's Request result).
    std::int32_t TransportResult = 0;

    // Starts the record of a request with `payload`, `length` bytes.
    void Begin(const std::uint8_t* payload, std::size_t length, std::uint8_t expectedLength);
    bool Accepted() const { return !Attempts.empty() && Attempts.back().Accepted(); }
    // The exchange broke off: there is no answer to look at, not even an
    // invalid one.
    bool Failed() const { return TransportResult != 0; }
    // A valid answer stands in the caller's buffer.
    bool Answered() const { return !Failed() && LinkState == LinkStateOf(TAttemptVerdict::Valid); }
    // The last attempt's verdict; NoAnswer when none was made.
    TAttemptVerdict Verdict() const;
    int FailedAttempts() const;
};

}  // namespace qmx
