#include "driver/silo.h"

#include <cstring>

#include "driver/abstract_error.h"
#include "driver/connection.h"
#include "driver/live_silos.h"
#include "driver/silo_metrics.h"
#include "platform/environment.h"
#include "protocol/gauge_line.h"

namespace qmx {
namespace {

// Protocol version, separator and display name, as a short string.
constexpr char kDescription[] = "v3.00#Протокол к уровнемеру Quelmarox";
// 37 characters in code page 1251. Clang, used only for fuzzing, has no such
// execution character set: its texts stay UTF-8 and the description is cut
// to the 37 bytes the caller's buffer is sure to hold.
constexpr std::size_t kDescriptionLength = 37;
#ifndef __clang__
static_assert(sizeof kDescription - 1 == kDescriptionLength, "the description is 37 characters in code page 1251");
#endif

// The values the gauge's line is set up with on a communication block.
constexpr std::int32_t kLineParam1 = 10;
constexpr std::int32_t kLineParam3 = 2000;
constexpr std::int32_t kLineParam4 = 20;
constexpr std::int32_t kLineParam5 = 1;

}  // namespace

TSilo::TSilo(std::uint8_t connectionType, THostCommService* host, TPortOpener openPort)
    : FOpenPort(openPort) {
    FMenuPending = true;
    FConnectionType = connectionType;
    // Opening the port may raise; then no silo results, and the members
    // built so far release themselves.
    if (!IsCommBlock(connectionType) && FOpenPort != nullptr)
        FPort = FOpenPort(PortNumberOf(connectionType));
    FHost = host;
    FState = kLinkValid;
    LiveSilos().Add(this);
}

TSilo::~TSilo() {
    // Nothing handed out reaches this silo from now on.
    LiveSilos().Remove(this);
    // The last readings are written, and the writer has ended.
    FMetrics.reset();
    // The port goes first: its threads stop before anything else of the
    // silo is released. The lock follows as a member.
    FPort.reset();
}

void TSilo::PublishMetrics(const std::string& directory) {
    if (directory.empty()) return;
    FMetrics = std::make_unique<TSiloMetrics>(directory, ProgramName(), ConnectionName(FConnectionType));
    // Without a writer the readings would only be kept for nobody.
    if (!FMetrics->Running()) FMetrics.reset();
}

void TSilo::Abstract0() { throw EAbstractError(); }

void TSilo::Abstract1() { throw EAbstractError(); }

void TSilo::GetDescription(std::uint8_t* result) const {
    result[0] = static_cast<std::uint8_t>(kDescriptionLength);
    std::memcpy(result + 1, kDescription, kDescriptionLength);
}

void TSilo::SetState(std::uint8_t state) { FState = state; }

std::uint8_t TSilo::GetState() const { return FState; }

void TSilo::SetupCommBlock(std::uint8_t argument) {
    if (FHost == nullptr) return;
    try {
        FHost->RegisterLineSetup(LineAddress(), TReachSilo<&TSilo::ConfigureLine>::Bound(this));
        ConfigureLine(argument);
    } catch (...) {
        // The host's errors during the set-up are its own to report.
    }
}

void TSilo::NoOp() {}

void TSilo::NoOpWithArgument(std::int32_t /*ignored*/) {}

std::int32_t TSilo::ReturnZero() { return 0; }

void TSilo::ClearWordPair(std::int32_t /*ignored*/, std::uint16_t* pair) {
    if (pair == nullptr) return;
    pair[0] = 0;
    pair[1] = 0;
}

double TSilo::ReturnZeroReal(std::int32_t /*ignored*/) { return 0.0; }

void TSilo::ConfigureLine(std::uint8_t /*ignored*/) {
    if (FHost == nullptr) return;
    FHost->SetLineParams(LineAddress(), kLineParam1, kGaugeBaudRate, kLineParam3, kLineParam4,
                         kLineParam5);
}

std::uint8_t TSilo::LineAddress() const { return LineAddressOf(FConnectionType); }

}  // namespace qmx
