// qmx-read: reads tanks from a Quelmarox gauge through the driver, exactly
// as a station's host does, and prints what it got.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "driver/factories.h"
#include "reading.h"
#include "serial/serial_errors.h"
#include "tank_list.h"
#include "text.h"

namespace {

constexpr int kAllValid = 0;
constexpr int kSomeInvalid = 1;
constexpr int kUsageOrOpenError = 2;

void Usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: qmx-read (--com N | --device PATH) [--tanks LIST] [--json | --csv] [--trace FILE]\n"
                 "\n"
                 "Reads level, temperature, second value and density of each tank from a Quelmarox\n"
                 "gauge (protocol v3.00) on a serial line, through the driver as a station's host does.\n"
                 "\n"
                 "  --com N        COM port N: the device in QMX_COMN, else /dev/ttyS<N-1>\n"
                 "  --device PATH  the serial device itself (a USB adapter, the simulator's pty)\n"
                 "  --tanks LIST   tanks to read, like 1-4,9 (default: all 33)\n"
                 "  --json, --csv  output for programs\n"
                 "  --trace FILE   every byte on the line, with time stamps (- for stderr)\n"
                 "  --quiet        no progress line\n"
                 "\n"
                 "Each exchange waits one second for the gauge by design: 33 tanks take over a minute.\n"
                 "A tank without a valid level is not asked for its other values.\n"
                 "Exit status: 0 every tank valid, 1 some not, 2 usage or open error.\n");
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

}  // namespace

int main(int argc, char** argv) {
    using namespace qmx::tools;
    int com = 0;
    std::string device, trace, format = "table";
    std::vector<int> tanks;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "qmx-read: %s needs a value\n", arg.c_str());
                std::exit(kUsageOrOpenError);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return kAllValid;
        } else if (arg == "--com") {
            com = std::atoi(value().c_str());
            if (com < 1 || com > 253) {
                std::fprintf(stderr, "qmx-read: --com takes a port number from 1 to 253\n");
                return kUsageOrOpenError;
            }
        } else if (arg == "--device") {
            device = value();
        } else if (arg == "--tanks") {
            const auto list = ParseTankList(value());
            if (!list) {
                std::fprintf(stderr, "qmx-read: --tanks takes a list like 1-4,9 of tanks 1 to 33\n");
                return kUsageOrOpenError;
            }
            tanks = *list;
        } else if (arg == "--json" || arg == "--csv") {
            format = arg.substr(2);
        } else if (arg == "--trace") {
            trace = value();
        } else if (arg == "--quiet") {
            quiet = true;
        } else {
            std::fprintf(stderr, "qmx-read: unknown option '%s'\n", arg.c_str());
            Usage(stderr);
            return kUsageOrOpenError;
        }
    }
    if ((com == 0) == device.empty()) {
        std::fprintf(stderr, "qmx-read: give either --com N or --device PATH\n");
        Usage(stderr);
        return kUsageOrOpenError;
    }
    if (tanks.empty())
        for (int tank = 1; tank <= 33; ++tank) tanks.push_back(tank);

    // The driver opens COMn; a device given by path is made COM1 for it.
    if (!device.empty()) {
        com = 1;
        ::setenv("QMX_COM1", device.c_str(), 1);
    }
    const std::string variable = "QMX_COM" + std::to_string(com);
    const char* configured = std::getenv(variable.c_str());
    const std::string path = configured != nullptr && *configured != '\0' ? configured : "/dev/ttyS" + std::to_string(com - 1);
    const std::string name = device.empty() ? "COM" + std::to_string(com) + " (" + path + ")" : path;
    if (std::string problem; !CheckDevice(path, problem)) {
        std::fprintf(stderr, "qmx-read: cannot open %s: %s\n", name.c_str(), problem.c_str());
        return kUsageOrOpenError;
    }
    if (!trace.empty()) ::setenv("QMX_TRACE", trace.c_str(), 1);

    std::unique_ptr<qmx::TSilo> silo;
    try {
        silo = qmx::GetSiloEx3(nullptr, static_cast<std::uint32_t>(com), 0);
    } catch (const qmx::ESerialIO& error) {
        std::fprintf(stderr, "qmx-read: cannot open %s: %s\n", name.c_str(), Cp1251ToUtf8(error.what()).c_str());
        return kUsageOrOpenError;
    }

    const bool progress = !quiet && ::isatty(STDERR_FILENO) != 0;
    std::vector<TTankReading> readings;
    for (std::size_t i = 0; i < tanks.size(); ++i) {
        if (progress) std::fprintf(stderr, "\rreading tank %d (%zu of %zu)...", tanks[i], i + 1, tanks.size());
        readings.push_back(ReadTank(*silo, tanks[i]));
    }
    if (progress) std::fprintf(stderr, "\r%40s\r", "");
    silo.reset();

    const std::string output = format == "json" ? FormatJson(readings)
                               : format == "csv" ? FormatCsv(readings)
                                                 : FormatTable(readings);
    std::fputs(output.c_str(), stdout);

    std::size_t valid = 0;
    for (const auto& reading : readings) valid += reading.Valid() ? 1 : 0;
    if (valid == 0) {
        std::fprintf(stderr, "qmx-read: no valid answer from %s: is the gauge connected, powered and set to this line?\n",
                     name.c_str());
    }
    return valid == readings.size() ? kAllValid : kSomeInvalid;
}
