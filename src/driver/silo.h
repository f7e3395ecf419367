#pragma once

// TSilo: one Quelmarox gauge line as the host sees it. The host creates it
// through a factory, calls its operations by position and destroys it; the
// silo owns its own serial port (on a COM connection) and its lock.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "driver/host_service.h"
#include "platform/recursive_lock.h"
#include "protocol/frame.h"
#include "protocol/exchange_record.h"
#include "protocol/tank_reading.h"
#include "serial/framed_port.h"
#include "serial/link_state.h"
#include "ui/connection_setting.h"
#include "ui/menu_item.h"

namespace qmx {

constexpr std::uint8_t kTankCount = kGaugeTanks;

// The caption of the host's settings menu, matched byte for byte.
constexpr char kSettingsMenuCaption[] = "&Настройка";

// Results of Request. On a host's block the result is what the host's
// Exchange returned: 0 when it carried the exchange out. The silo's own port
// always carries it out (its outcome is the link state it leaves), and
// without a transport the line is as good as silent: the result is 0 and the
// link state 2, so a measurement ends with link state 3 like one on a gauge
// that does not answer. An exchange that broke off with an error is a
// failure outright: the measurement raises its request error rather than
// decode a buffer no transport has filled.
constexpr std::int32_t kRequestCarriedOut = 0;
constexpr std::int32_t kRequestNoTransport = 0;
constexpr std::int32_t kRequestAborted = -1;

// One table entry per tank index. Host threads read entries while another
// thread's query writes them; each entry is read and written whole.
using TTankTable = std::array<std::atomic<double>, kTankCount>;

class TSiloMetrics;

class TSilo final : public TConnectionSetting {
public:
    TSilo(std::uint8_t connectionType, THostCommService* host,
          TPortOpener openPort = OpenFramedPort);
    ~TSilo();
    TSilo(const TSilo&) = delete;
    TSilo& operator=(const TSilo&) = delete;

    // The operations the host calls by position, slot 0 to slot 14.
    [[noreturn]] void Abstract0();
    [[noreturn]] void Abstract1();
    void GetDescription(std::uint8_t* result) const;
    void SetState(std::uint8_t state);
    std::uint8_t GetState() const;
    void SetupCommBlock(std::uint8_t ignored);
    void NoOp();
    void NoOpWithArgument(std::int32_t ignored);
    std::int32_t ReturnZero();
    double GetLevel(std::uint8_t tank);
    void GetTemperatures(std::uint8_t tank, double* record);
    std::uint8_t GetAuxValue(std::uint8_t tank);
    double GetDensity(std::uint8_t tank);
    void ClearWordPair(std::int32_t ignored, std::uint16_t* pair);
    double ReturnZeroReal(std::int32_t ignored);
    // Slot 15: puts the settings entry under the host's "&Настройка" item,
    // once per silo.
    void InstallMenu(TMenuItem* menuItem, std::int32_t ignored);
    // The entry is offered once per silo, whether or not it found its place:
    // true on the first call only. A host's menu reached another way than
    // through TMenuItem takes its turn here.
    bool TakeMenuOffer();
    // The entry's caption, with the connection of the moment.
    std::string MenuCaption() const;

    // The settings entry's click handler: shows the connection dialog. While
    // a connection dialog is open (this silo's or another's), a further
    // click does nothing: the operator finishes the open one first.
    void SettingsClick(TMenuItem* sender);

    // Switches the running silo to another connection; never raises, shows
    // what failed in a message box.
    void SetConnectionType(std::int32_t connectionType) override;
    // Stores the connection type for the next start, in cnf.ini.
    void StoreConnectionType(std::int32_t connectionType) override;
    std::uint8_t ConnectionType() const override { return FConnectionType; }

    // Publishes the readings the host makes as a metrics file in
    // `directory` (an empty one: none, and no thread is started).
    void PublishMetrics(const std::string& directory);

    // Handed to the host communication service with RegisterLineSetup.
    void ConfigureLine(std::uint8_t ignored);

    // Judges an answer frame; handed to the host and to the port.
    bool CheckAnswer(std::uint8_t address, const std::uint8_t* answer, std::int32_t value,
                     std::uint8_t& receivedLength, std::uint8_t& expectedLength);

    // One exchange with the gauge: frames the payload in `buffer`, carries it
    // on the current transport and leaves the answer in `buffer` and the
    // outcome in the link state. Never raises.
    std::int32_t Request(std::uint8_t* buffer, std::uint8_t payloadLength,
                         std::uint8_t expectedLength, std::int32_t further);

private:
    friend class TMeasurementNote;
    // After a measurement operation on `tank`: what it gave, for the metrics.
    void NoteMeasured(std::uint8_t tank, TMeasure what, bool raised);
    // Request, recorded: an answer is decoded on its own exchange's word (the
    // link state it left; another host thread's exchange may change the
    // silo's own before the caller reads it).
    TExchangeRecord Exchange(std::uint8_t* buffer, std::uint8_t payloadLength, std::uint8_t expectedLength);
    // The transports' steps of Exchange, each leaving the link state.
    void ExchangeOnBlock(TExchangeRecord& record, const TFrameArea& frame, std::uint8_t frameLength,
                         std::uint8_t* buffer, std::uint8_t expectedLength);
    void ExchangeOnPort(TExchangeRecord& record, const TFrameArea& frame, std::uint8_t frameLength,
                        std::uint8_t* buffer, std::uint8_t expectedLength);
    TTankReading Decoded(std::uint8_t tank, TQuery query, const TExchangeRecord& record,
                         const std::uint8_t* answer);
    void QueryLevel(std::uint8_t tank);
    void QueryDensity(std::uint8_t tank);
    // The steps of SetConnectionType: the switch under the lock (false when
    // it failed), the release of the silo's port, and the opening of a new
    // one, which shows its own failure.
    bool SwitchConnection(std::uint8_t connectionType);
    void ReleasePort();
    void OpenPortOrReport(std::uint8_t connectionType);
    std::uint8_t LineAddress() const;

    THostCommService* FHost = nullptr;
    std::atomic<std::uint8_t> FState{0};
    std::unique_ptr<TFramedPort> FPort;
    TTankTable FLevel{};
    TTankTable FTemperature{};
    TTankTable FDensity{};
    TTankTable FAuxValue{};
    bool FMenuPending = false;
    TRecursiveLock FLock;
    std::atomic<std::uint8_t> FConnectionType{0};
    TPortOpener FOpenPort;
    std::atomic<bool> FDevicePresent{true};  // as the last exchange found it
    std::unique_ptr<TSiloMetrics> FMetrics;
    // While a port transacts for this silo: the port the answer check tells
    // why it rejects an answer.
    std::atomic<TFramedPort*> FJudgingPort{nullptr};
    // While a host's block carries an exchange: the attempts its host has
    // shown the answer check.
    std::atomic<TExchangeRecord*> FBlockRecord{nullptr};
};

// Creates a menu item owned by the parent's owner, appends it (a negative
// position) or inserts it, then sets its caption, hint, help context,
// shortcut and click handler, in that order.
std::unique_ptr<TMenuItem> AddMenuItem(const std::string& caption, const std::string& hint,
                                       std::int32_t helpContext, std::uint16_t shortCut,
                                       TClickHandler onClick, TMenuItem& parent, std::int32_t position);

}  // namespace qmx
