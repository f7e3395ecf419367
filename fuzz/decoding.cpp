// The L and G decoding through Request, with the host service double
// answering whatever the input says: the answer bytes, the line state and
// the exchange's result. Whatever comes, a measurement returns a clean
// value or raises the request error, and leaves link state 1 or 3.

#include <cstdint>
#include <cstdlib>

#include "driver/silo.h"
#include "serial/serial_errors.h"
#include "support/recording_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    static qmx::test::TRecordingHost host;
    static qmx::TSilo silo(0, &host);
    host.ClearCalls();
    host.LineState = data[0] % 4;
    host.ExchangeResult = data[1] % 8 == 0 ? 1 : 0;
    host.JudgeWithCheck = (data[1] & 0x80) != 0;
    const std::uint8_t tank = data[2] % 40;  // some beyond the tables
    const std::uint8_t operation = data[3] % 4;
    host.Answer.assign(data + 4, data + std::min<std::size_t>(size, 4 + 256));
    silo.SetState(data[0] % 2 == 0 ? 1 : 3);
    try {
        switch (operation) {
            case 0: {
                const double level = silo.GetLevel(tank);
                if (silo.GetState() == 1 && !(level >= 0.0)) std::abort();
                break;
            }
            case 1: {
                double record[4] = {7, 7, 7, 7};
                silo.GetTemperatures(tank, record);
                if (silo.GetState() == 1 && !(record[0] > -100.0 && record[3] == record[0])) std::abort();
                break;
            }
            case 2: silo.GetAuxValue(tank); break;
            default: {
                const double density = silo.GetDensity(tank);
                if (silo.GetState() == 1 && !(density > 0.0)) std::abort();
                break;
            }
        }
    } catch (const qmx::ESerialIO&) {
        return 0;  // the request error: the tables stay as they were
    }
    if (silo.GetState() != 1 && silo.GetState() != 3) std::abort();
    return 0;
}
