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

#include "driver/exchange_witness.h"
#include "metrics/exposition.h"
#include "platform/event.h"
#include "platform/recursive_lock.h"
#include "platform/thread.h"

namespace qmx {

// The four values of a tank, as the measurement operations give them.
enum class TMeasure : std::uint8_t { Level, Temperature, SecondValue, Density };

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

    // Used under the silo's lock, by one exchange at a time.
    TExchangeWitness& Witness() { return FWitness; }

    // What an exchange for tank index `tank` came to; `doubts` of its
    // accepted answer (TAnswerDoubt bits).
    void Exchanged(std::uint8_t tank, TQuery query, const TExchangeFacts& facts, unsigned doubts);
    // What a measurement operation returned: its value when valid, and the
    // link state it left.
    void Measured(std::uint8_t tank, TMeasure what, std::optional<double> value, std::uint8_t linkState,
                  bool devicePresent);
    // The silo now serves another connection: its file replaces the old one.
    void SwitchedTo(const std::string& connection);

private:
    struct TTankState {
        bool Seen = false;
        std::array<std::optional<double>, 4> Values;
        unsigned Asked = 0;   // TMeasure bits the host has asked for
        unsigned Failed = 0;  // of those, the ones whose last asking failed
        unsigned Doubts[2] = {0, 0};  // of the last accepted L and G answers
        std::string ExchangeReason = "none";  // of the tank's last exchange
        int ExchangeAttempts = 0;
        std::string Reason = "none";  // why the last failed measurement failed
        int Attempts = 0;
        std::uint8_t LinkState = 0;
        bool Valid() const { return Asked != 0 && Failed == 0; }
    };
    struct TSnapshot;

    static void Main(void* self);
    void Run();
    void WriteNow();
    TSnapshot Take();
    std::string PathOf(const std::string& connection) const;

    const std::string FDirectory;
    const TSourceInfo FSource;
    TExchangeWitness FWitness;

    TRecursiveLock FLock;  // guards what follows, never held over the file
    std::array<TTankState, 33> FTanks;
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
