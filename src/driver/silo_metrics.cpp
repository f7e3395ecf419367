#include "driver/silo_metrics.h"

#include <chrono>
#include <utility>
#include <vector>

#include "driver/config_file.h"
#include "driver/connection.h"
#include "platform/whole_file.h"
#include "serial/wire_trace.h"

namespace qmx {
namespace {

// The writer's stack: the text of 33 tanks is built on the heap.
constexpr std::size_t kWriterStack = 64 * 1024;
// At most one file a second, however often the host measures.
constexpr std::uint32_t kWriteInterval = 1000;
// The last write, of what the host got last, is waited for: on a loaded or
// emulated machine a local file takes longer than a port's workers are given
// to stop (200 ms), and a writer ended then loses the readings the file is
// for. A writer stuck in a stalled share past this is ended.
constexpr std::uint32_t kLastWriteWait = 3000;
// After the last word, what the system needs to see the thread gone.
constexpr std::uint32_t kEndWait = 200;

double UnixNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

unsigned Bit(TMeasure what) { return 1u << static_cast<unsigned>(what); }

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

}  // namespace

std::string ConnectionName(std::uint8_t connectionType) {
    return IsCommBlock(connectionType) ? "block" + std::to_string(connectionType + 1)
                                       : "com" + std::to_string(PortNumberOf(connectionType));
}

struct TSiloMetrics::TSnapshot {
    bool Changed = false;
    std::string Connection;
    std::string Replaced;
    std::vector<TTankReading> Tanks;
    TRoundFigures Round;
};

TSiloMetrics::TSiloMetrics(std::string directory, std::string hostProgram, std::string connection)
    : FDirectory(std::move(directory)),
      FSource(DriverSource(QMX_VERSION, hostProgram)),
      FConnection(std::move(connection)) {
    if (!FWake.Create(TEvent::TReset::Auto) || !FStop.Create(TEvent::TReset::Manual) ||
        !FEnded.Create(TEvent::TReset::Manual))
        return;
    FThread.Start(&TSiloMetrics::Main, this, kWriterStack);
}

TSiloMetrics::~TSiloMetrics() {
    if (!FThread.Started()) return;
    FStopping = true;
    FStop.Set();
    FWake.Set();
    if (!FEnded.Wait(kLastWriteWait) && !FThread.AwaitEnd(0)) FThread.Terminate();
    // The host may free the library as soon as the silo is gone: the writer
    // is seen to have ended first, bounded as its last word is.
    FThread.AwaitEnd(kEndWait);
    FThread.Release();
}

void TSiloMetrics::Main(void* self) { static_cast<TSiloMetrics*>(self)->Run(); }

void TSiloMetrics::Run() {
    double lastWrite = NowMs() - kWriteInterval;
    // The stop wakes it too: what is left is written before it ends.
    do {
        FWake.Wait(kWaitForever);
        const double due = lastWrite + kWriteInterval - NowMs();
        if (due > 0 && !FStopping) FStop.Wait(static_cast<std::uint32_t>(due));
        WriteNow();
        lastWrite = NowMs();
    } while (!FStopping);
    // A stop that came while a write was under way: what the host measured
    // after that write took its figures is written now (nothing when none).
    WriteNow();
    FEnded.Set();
}

TSiloMetrics::TSnapshot TSiloMetrics::Take() {
    TLockGuard guard(FLock);
    TSnapshot snapshot;
    snapshot.Changed = std::exchange(FChanged, false);
    snapshot.Connection = FConnection;
    snapshot.Replaced = std::exchange(FReplaced, std::string());
    if (!snapshot.Changed && snapshot.Replaced.empty()) return snapshot;
    for (const TTankBook& book : FTanks) {
        if (book.Asked == 0) continue;
        TTankReading tank = book.Reading;
        tank.Doubts = book.Doubts[0] | book.Doubts[1];
        snapshot.Tanks.push_back(tank);
    }
    ++FRound.Rounds;
    snapshot.Round = FRound;
    FRound.FailedExchanges = 0;
    FWindowStart = 0;
    return snapshot;
}

void TSiloMetrics::WriteNow() {
    const TSnapshot snapshot = Take();
    if (!snapshot.Replaced.empty()) RemoveFileIfThere(PathOf(snapshot.Replaced));
    if (!snapshot.Changed) return;
    std::string problem;
    if (ReplaceWholeFile(PathOf(snapshot.Connection),
                         MetricsText(snapshot.Connection, snapshot.Tanks, snapshot.Round, FSource), problem) ||
        FSaidFailure)
        return;
    FSaidFailure = true;
    TWireTrace trace;
    if (const std::string path = ReadConfiguredTracePath(); !path.empty() && trace.Open(path))
        trace.Note("metrics: " + problem + "; the readings go on, the file is tried again after each");
}

std::string TSiloMetrics::PathOf(const std::string& connection) const {
    const bool separated = !FDirectory.empty() && (FDirectory.back() == '\\' || FDirectory.back() == '/');
    return FDirectory + (separated ? "" : std::string(1, kSeparator)) + "qmx-" + connection + ".prom";
}

void TSiloMetrics::Exchanged(std::uint8_t tank, TQuery query, const TExchangeRecord& record, unsigned doubts) {
    TLockGuard guard(FLock);
    TTankBook& book = FTanks[tank];
    book.Doubts[query == TQuery::Level ? 0 : 1] = doubts;
    // None made and no answer is none asked (the device had gone, or no
    // transport): the reading's attempts tell.
    book.ExchangeVerdict = record.Answered() ? TAttemptVerdict::Valid : record.Verdict();
    book.ExchangeAttempts = static_cast<int>(record.Attempts.Made());
    FRound.FailedExchanges += record.FailedAttempts();
    FRound.FailedExchangesTotal += record.FailedAttempts();
}

void TSiloMetrics::Measured(std::uint8_t tank, TMeasure what, std::optional<double> value, std::uint8_t linkState,
                            bool devicePresent) {
    {
        TLockGuard guard(FLock);
        TTankBook& book = FTanks[tank];
        TTankReading& reading = book.Reading;
        reading.Tank = tank + 1;
        reading.Value(what) = value;
        book.Asked |= Bit(what);
        book.Failed = value ? book.Failed & ~Bit(what) : book.Failed | Bit(what);
        reading.Valid = book.Failed == 0;
        if (!value) {
            // Refused after an answer the check took (a negative level): an
            // invalid value.
            const bool answered = book.ExchangeVerdict == TAttemptVerdict::Valid;
            reading.Reason = answered ? TAttemptVerdict::InvalidValue : book.ExchangeVerdict;
            reading.Attempts = book.ExchangeAttempts;
        }
        reading.LinkState = linkState;
        const double now = UnixNow();
        if (reading.Valid && (book.Doubts[0] | book.Doubts[1]) == 0) FRound.LastValidAt[tank + 1] = now;
        if (FWindowStart == 0) FWindowStart = now;
        FRound.DurationSeconds = now - FWindowStart;
        FRound.EndedAt = now;
        FRound.DevicePresent = devicePresent;
        FChanged = true;
    }
    FWake.Set();
}

void TSiloMetrics::SwitchedTo(const std::string& connection) {
    {
        TLockGuard guard(FLock);
        if (connection == FConnection) return;
        FReplaced = FConnection;
        FConnection = connection;
        FTanks = {};
        FRound.LastValidAt.clear();
        FChanged = true;
    }
    FWake.Set();
}

}  // namespace qmx
