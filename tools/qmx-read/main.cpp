// qmx-read: reads tanks from a Quelmarox gauge through the driver, exactly
// as a station's host does, and prints each tank's row as it is read.

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "driver/connection.h"
#include "driver/silo.h"
#include "options.h"
#include "output.h"
#include "reading.h"
#include "recording_port.h"
#include "serial/serial_errors.h"
#include "text.h"

namespace {

using namespace qmx::tools;
using namespace std::chrono_literals;

constexpr int kAllValid = 0;
constexpr int kSomeInvalid = 1;
constexpr int kFailed = 2;

// How long a device that has gone is given to come back: about what one
// tank's reading costs when the gauge does not answer.
constexpr auto kComeBackWindow = 3s;
constexpr auto kComeBackPoll = 250ms;

void Usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: qmx-read (--com N | --device PATH) [--tanks LIST] [--json | --csv] [--trace FILE]\n"
                 "\n"
                 "Reads level, temperature, second value and density of each tank from a Quelmarox\n"
                 "gauge (protocol v3.00) on a serial line, through the driver as a station's host does.\n"
                 "\n"
                 "  --com N        COM port N (1 to 253): the device in QMX_COMN, else /dev/ttyS<N-1>\n"
                 "  --device PATH  the serial device itself (a USB adapter, the simulator's pty)\n"
                 "  --tanks LIST   tanks to read, like 1-4,9 (tanks 1 to 33; default: all)\n"
                 "  --json, --csv  output for programs\n"
                 "  --trace FILE   every byte on the line, with time stamps (- for stderr)\n"
                 "  --quiet        no progress line\n"
                 "\n"
                 "Each exchange waits one second for the gauge by design: 33 tanks take over a minute.\n"
                 "Rows are printed as the tanks are read. A tank without a valid level is not asked\n"
                 "for its other values. Values the driver takes as valid but that are in doubt (an\n"
                 "answer naming another tank, a field that is not a number) are flagged.\n"
                 "Exit status: 0 every tank valid, 1 some not, 2 usage, open or output error or a\n"
                 "device that went and did not come back, 130 and 143 on SIGINT and SIGTERM.\n");
}

// Says plainly why the device cannot be used, before the driver tries.
bool CheckDevice(const std::string& path, std::string& problem) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        problem = errno == ENOENT ? "no such device" : std::strerror(errno);
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = errno == EACCES ? "permission denied (is the user in the dialout group?)" : std::strerror(errno);
        return false;
    }
    const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    const bool tty = ::isatty(fd) != 0;
    ::close(fd);
    if (!tty) {
        problem = "not a serial device";
        return false;
    }
    if (busy) {
        problem = "in use by another program";
        return false;
    }
    return true;
}

int OutputFailed() {
    std::fprintf(stderr, "qmx-read: cannot write the output: %s\n", std::strerror(errno));
    return kFailed;
}

}  // namespace

int main(int argc, char** argv) {
    // SIGINT and SIGTERM are taken by a thread of their own. They are
    // blocked before any other thread starts, so that every thread, the
    // driver's workers too, inherits the block.
    // Static: the signal thread may still use them while the process exits.
    static sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);

    const auto parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "qmx-read: %s\n", problem->c_str());
        Usage(stderr);
        return kFailed;
    }
    TOptions options = std::get<TOptions>(parsed);
    if (options.Help) {
        Usage(stdout);
        return kAllValid;
    }

    if (!options.Trace.empty() && options.Trace != "-") {
        std::FILE* trace = std::fopen(options.Trace.c_str(), "a");
        if (trace == nullptr) {
            std::fprintf(stderr, "qmx-read: cannot open the trace file %s: %s\n", options.Trace.c_str(),
                         std::strerror(errno));
            return kFailed;
        }
        std::fclose(trace);
    }

    // The driver opens COMn; a device given by path is made COM1 for it.
    int com = options.Com;
    if (!options.Device.empty()) {
        com = 1;
        ::setenv("QMX_COM1", options.Device.c_str(), 1);
    }
    const std::string variable = "QMX_COM" + std::to_string(com);
    const char* configured = std::getenv(variable.c_str());
    const std::string path =
        configured != nullptr && *configured != '\0' ? configured : "/dev/ttyS" + std::to_string(com - 1);
    const std::string name = options.Device.empty() ? "COM" + std::to_string(com) + " (" + path + ")" : path;
    if (std::string problem; !CheckDevice(path, problem)) {
        std::fprintf(stderr, "qmx-read: cannot open %s: %s\n", name.c_str(), problem.c_str());
        return kFailed;
    }
    if (!options.Trace.empty()) ::setenv("QMX_TRACE", options.Trace.c_str(), 1);

    static TOutput output(stdout, options.Format);
    std::thread([] {
        int signal = 0;
        if (sigwait(&stops, &signal) != 0) return;
        output.Interrupt("qmx-read: interrupted after " + std::to_string(output.Rows()) + " tanks");
        std::_Exit(128 + signal);
    }).detach();

    // The silo as a factory makes it, with the reader's own opener, so that
    // the reader sees the answers and the device's state.
    std::unique_ptr<qmx::TSilo> silo;
    try {
        silo = std::make_unique<qmx::TSilo>(qmx::ConnectionTypeFor(static_cast<std::uint32_t>(com), 0), nullptr,
                                            &OpenRecordingPort);
    } catch (const qmx::ESerialIO& error) {
        std::fprintf(stderr, "qmx-read: cannot open %s: %s\n", name.c_str(), Cp1251ToUtf8(error.what()).c_str());
        return kFailed;
    }
    TRecordingPort* port = TRecordingPort::Current();
    if (!output.Begin()) return OutputFailed();

    const bool progress = !options.Quiet && ::isatty(STDERR_FILENO) != 0;
    const auto& tanks = options.Tanks;
    std::size_t valid = 0;
    for (std::size_t i = 0; i < tanks.size(); ++i) {
        if (progress)
            output.Progress("reading tank " + std::to_string(tanks[i]) + " (" + std::to_string(i + 1) + " of " +
                            std::to_string(tanks.size()) + ")...");
        TTankReading reading = ReadTank(*silo, tanks[i], port);
        if (port != nullptr && !port->DevicePresent()) {
            output.Note("qmx-read: " + name + " has gone; waiting for it to come back");
            // Each reading tries once to open the device again.
            const auto until = std::chrono::steady_clock::now() + kComeBackWindow;
            while (!port->DevicePresent() && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(kComeBackPoll);
                reading = ReadTank(*silo, tanks[i], port);
            }
            if (!port->DevicePresent()) {
                if (!output.Row(reading) || !output.End()) return OutputFailed();
                std::fprintf(stderr, "qmx-read: %s did not come back; stopped at tank %d (%zu of %zu read)\n",
                             name.c_str(), tanks[i], i + 1, tanks.size());
                return kFailed;
            }
            output.Note("qmx-read: " + name + " is back");
        }
        if (!output.Row(reading)) return OutputFailed();
        valid += reading.Valid() ? 1 : 0;
    }
    if (!output.End()) return OutputFailed();
    silo.reset();

    if (valid == 0) {
        std::fprintf(stderr,
                     "qmx-read: no valid answer from %s: is the gauge connected, powered and set to this line?\n",
                     name.c_str());
    }
    return valid == tanks.size() ? kAllValid : kSomeInvalid;
}
