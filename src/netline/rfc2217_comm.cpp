#include "netline/rfc2217_comm.h"


namespace qmx::net {
namespace {

using namespace rfc2217;

struct TEscape {
    DWORD Function;
    std::uint8_t Control;
};

constexpr TEscape kEscapes[] = {
    {SETRTS, kControlRtsOn},   {CLRRTS, kControlRtsOff},     {SETDTR, kControlDtrOn},
    {CLRDTR, kControlDtrOff},  {SETBREAK, kControlBreakOn},  {CLRBREAK, kControlBreakOff},
};

// The server answered `command` with `answered` when asked for `asked`.
ESerialIO Refusal(std::uint8_t command, std::uint32_t asked, std::uint32_t answered) {
    const std::string answer = ValueText(command, answered);
    return ESerialIO("the server answered " + SettingName(command) + " " + answer + " when asked for " +
                         ValueText(command, asked),
                     SettingName(command), answer);
}

std::uint8_t FlowOf(DWORD flags) {
    if ((flags & kDcbOutxCtsFlow) != 0) return kControlHardwareFlow;
    if ((flags & (kDcbOutX | kDcbInX)) != 0) return kControlSoftwareFlow;
    return kControlNoFlow;
}

}  // namespace

std::chrono::milliseconds TRfc2217Comm::AnswerTimeout() const {
    return Address().AnswerTimeout.value_or(kAnswerTimeout);
}

TRfc2217Client& TRfc2217Comm::Client(TNetDevice& device) { return static_cast<TRfc2217Client&>(device.Codec()); }

std::unique_ptr<TNetCodec> TRfc2217Comm::MakeCodec() { return std::make_unique<TRfc2217Client>(); }

void TRfc2217Comm::Begin(TNetDevice& device) {
    // A new connection: what the server's line is, nobody knows yet.
    for (auto& taken : FTaken) taken.reset();
    for (auto& refused : FRefused) refused.reset();
    FFlow.reset();
    FRts.reset();
    // With ign_set_control, line control is sent and never waited for:
    // nothing here reads the server's answer to it but the wait itself,
    // so skipping the wait loses only the check of that answer.
    FControlSilent = Address().IgnoreSetControl;
    DWORD error = ERROR_SUCCESS;
    if (!device.SendWire(Client(device).Opening(), error)) throw ESerialIO("the connection broke at once");
    // Opened again, before an exchange: no longer than a connection may
    // take, whatever timeout= says, so that a round's time stays bounded.
    const auto limit = Reconnecting() ? kReconnectTimeout : AnswerTimeout();
    if (const std::string problem = Client(device).AwaitOpening(limit); !problem.empty()) throw ESerialIO(problem);
    Note("the server took the COM-PORT option, binary both ways");
    if (FControlSilent) Note("line control is sent without waiting for the server's answer (ign_set_control)");
}

void TRfc2217Comm::SetLine(TNetDevice& device, const TDcb& dcb) {
    struct TSetting {
        std::uint8_t Command;
        std::uint32_t Value;
    };
    const TSetting wanted[] = {{kSetBaudRate, dcb.BaudRate},
                               {kSetDataSize, dcb.ByteSize},
                               {kSetParity, ParityCode(dcb.Parity)},
                               {kSetStopSize, StopSizeCode(dcb.StopBits)}};
    std::vector<std::uint8_t> wire, commands;
    std::vector<std::uint32_t> values;
    for (const auto& setting : wanted) {
        if (FTaken[setting.Command] == setting.Value) {
            FRefused[setting.Command].reset();
            continue;
        }
        const auto request = Client(device).Request(setting.Command, setting.Value);
        wire.insert(wire.end(), request.begin(), request.end());
        commands.push_back(setting.Command);
        values.push_back(setting.Value);
    }
    if (commands.empty()) return;
    if (DWORD error = ERROR_SUCCESS; !device.SendWire(wire, error)) throw ESerialIO("the connection broke");
    const auto answers = Client(device).AwaitAnswers(commands, AnswerTimeout());
    std::string took;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const std::string name = SettingName(commands[i]);
        const std::string asked = ValueText(commands[i], values[i]);
        if (!answers[i])
            throw ESerialIO("the server did not answer the " + name + " (" + asked + ") within " +
                            std::to_string(AnswerTimeout().count() / 1000) + " s");
        FTaken[commands[i]] = *answers[i];
        if (*answers[i] == values[i]) {
            FRefused[commands[i]].reset();
            took += (took.empty() ? "" : ", ") + name + " " + asked;
            continue;
        }
        const ESerialIO refused = Refusal(commands[i], values[i], *answers[i]);
        // Opened again, the port asks for its own line at once.
        if (Reconnecting()) throw refused;
        FRefused[commands[i]] = refused;
        Note(refused.what());
    }
    if (!took.empty()) Note("the server took " + took);
}

void TRfc2217Comm::SetControl(TNetDevice& device, std::uint8_t value) {
    const std::string asked = ValueText(kSetControl, value);
    if (DWORD error = ERROR_SUCCESS; !device.SendWire(Client(device).Request(kSetControl, value), error))
        throw ESerialIO("the connection broke");
    if (FControlSilent) return;
    const auto answer = Client(device).AwaitAnswers({kSetControl}, kControlAnswerTimeout)[0];
    if (!answer) {
        FControlSilent = true;
        Note("the server did not acknowledge " + asked +
             ": taken as done, as some servers never acknowledge line control");
        return;
    }
    if (*answer != value) {
        const std::string answered = ValueText(kSetControl, *answer);
        throw ESerialIO("the server answered " + answered + " when asked for " + asked, SettingName(kSetControl),
                        answered);
    }
    Note("the server took " + asked);
}

BOOL TRfc2217Comm::SetCommState(THandle handle, TDcb* dcb) {
    auto* device = Device(handle);
    if (device == nullptr || dcb == nullptr) return Fail(ERROR_INVALID_HANDLE);
    SetLine(*device, *dcb);
    const DWORD flags = DcbFlags(*dcb);
    if (const std::uint8_t flow = FlowOf(flags); FFlow != flow) {
        SetControl(*device, flow);
        FFlow = flow;
    }
    // RTS follows the DCB's RTS control, as a Windows driver drives it; a
    // handshake leaves it to the flow control.
    const DWORD rtsControl = flags & kDcbRtsControlMask;
    if (rtsControl != kDcbRtsControlHandshake) {
        const std::uint8_t rts = rtsControl == 0 ? kControlRtsOff : kControlRtsOn;
        if (FRts != rts) {
            SetControl(*device, rts);
            FRts = rts;
        }
    }
    DWORD error = ERROR_SUCCESS;
    return device->SetState(*dcb, error) ? TRUE : Fail(error);
}

void TRfc2217Comm::ConfirmLineTaken() {
    for (const auto& refused : FRefused)
        if (refused) throw *refused;
}

BOOL TRfc2217Comm::PurgeComm(THandle handle, DWORD flags) {
    auto* device = Device(handle);
    if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
    // What the server still holds from the gauge goes too: a reply that
    // missed its request must not meet the next one.
    std::vector<std::uint8_t> wire;
    if ((flags & PURGE_RXCLEAR) != 0) wire = TRfc2217Client::Command(kPurgeData, kPurgeReceived);
    if ((flags & PURGE_TXCLEAR) != 0) {
        const auto toSend = TRfc2217Client::Command(kPurgeData, kPurgeToSend);
        wire.insert(wire.end(), toSend.begin(), toSend.end());
    }
    if (DWORD error = ERROR_SUCCESS; !wire.empty() && !device->SendWire(wire, error)) return Fail(error);
    device->Purge(flags);
    return TRUE;
}

BOOL TRfc2217Comm::EscapeCommFunction(THandle handle, DWORD function) {
    auto* device = Device(handle);
    if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
    for (const auto& escape : kEscapes) {
        if (escape.Function != function) continue;
        SetControl(*device, escape.Control);
        if (escape.Control == kControlRtsOn || escape.Control == kControlRtsOff) FRts = escape.Control;
        return TRUE;
    }
    // XON and XOFF by hand have no form in the option.
    return Fail(ERROR_INVALID_PARAMETER);
}

}  // namespace qmx::net
