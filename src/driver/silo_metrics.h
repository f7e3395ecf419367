#pragma once

// A silo's readings for monitoring: the last of every tank the host asked
// for, written by a thread of the silo's own to DIR/qmx-<connection>.prom
// (com3, block1) in the reader's metrics families, at most once a second
// after measurements. The host's thread only copies a few figures under a
// lock and sets an event; the file, however slow or refused, costs it
// nothing. A file that cannot be written is said once in the wire trace.

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "metrics/exposition.h"
#include "platform/event.h"
#include "platform/recursive_lock.h"
#include "platform/thread.h"
#include "protocol/exchange_record.h"
#include "protocol/tank_reading.h"

namespace qmx {

// The connection's name in file names and the device label: "com3", "block1".
std::string ConnectionName(std::uint8_t connectionType);

class TSiloMetrics {
public:
    // Starts the writer; Running() tells whether the system gave a thread.
    TSiloMetrics(std::string directory, std::string hostProgram, std::string connection);
    // Writes the last state and stops the writer, waiting up to 3 s for that
    // write (a stalled share is given no longer); the writer has ended when
    // this returns.
    ~TSiloMetrics();
    TSiloMetrics(const TSiloMetrics&) = delete;
    TSiloMetrics& operator=(const TSiloMetrics&) = delete;

    bool Running() const { return FThread.Started(); }

    // What an exchange for tank index `tank` came to; `doubts` of its
    // accepted answer (TAnswerDoubt bits).
    void Exchanged(std::uint8_t tank, TQuery query, const TExchangeRecord& record, unsigned doubts);
    // What a measurement operation returned: its value when valid, and the
    // link state it left.
    void Measured(std::uint8_t tank, TMeasure what, std::optional<double> value, std::uint8_t linkState,
                  bool devicePresent);
    // The silo now serves another connection: its file replaces the old one.
    void SwitchedTo(const std::string& connection);

private:
    // A tank's reading, and what it is made of: the measurements the host
    // asked for and those whose last asking failed (TMeasure bits), the
    // doubts of its last L and G answers, and how its last exchange ended.
    struct TTankBook {
        TTankReading Reading;
        unsigned Asked = 0;
        unsigned Failed = 0;
        unsigned Doubts[2] = {0, 0};
        TAttemptVerdict ExchangeVerdict = TAttemptVerdict::Valid;
        int ExchangeAttempts = 0;
    };
    struct TSnapshot;

    static void Main(void* self);
    void Run();
    void WriteNow();
    TSnapshot Take();
    std::string PathOf(const std::string& connection) const;

    const std::string FDirectory;
    const TSourceInfo FSource;

    TRecursiveLock FLock;  // guards what follows, never held over the file
    std::array<TTankBook, 33> FTanks;
    TRoundFigures FRound;
    double FWindowStart = 0;  // the first measurement since the last write
    bool FChanged = false;
    std::string FConnection;
    std::string FReplaced;  // a connection whose file is to be removed

    TEvent FWake;     // a measurement, or the stop
    TEvent FStop;     // manual: set once
    TEvent FEnded;    // the writer's last act
    std::atomic<bool> FStopping{false};
    bool FSaidFailure = false;  // the writer's own
    TThread FThread;
};

}  // namespace qmx
