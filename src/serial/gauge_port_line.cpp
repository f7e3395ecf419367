#include "serial/gauge_port_line.h"

#include "protocol/gauge_line.h"

namespace qmx {
namespace {

std::uint8_t ParityCode(TParity parity) {
    switch (parity) {
        case TParity::Odd: return ODDPARITY;
        case TParity::Even: return EVENPARITY;
        case TParity::None: break;
    }
    return NOPARITY;
}

}  // namespace

void SetGaugeLine(TComPort& port) {
    port.SetParity(ParityCode(kGaugeLine.Parity));
    port.SetDataBits(kGaugeLine.DataBits);
    port.SetStopBits(kGaugeLine.StopBits);
    port.Purge();
    port.EscapeComm(kGaugeLine.RtsHigh ? SETRTS : CLRRTS);
    port.SetBaudRate(kGaugeLine.BaudRate);
}

void PutGaugeLine(TDcb& dcb) {
    dcb.BaudRate = static_cast<DWORD>(kGaugeLine.BaudRate);
    dcb.ByteSize = kGaugeLine.DataBits;
    dcb.Parity = ParityCode(kGaugeLine.Parity);
    dcb.StopBits = kGaugeLine.StopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
}

}  // namespace qmx
