// The metrics file the DLL writes inside a host, with MetricsDir in
// cnf.ini: what the host got, tank by tank, on a host's block and on a COM
// line to the simulated gauge; nothing of it in the host's way.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dll_calls.h"
#include "fake_host.h"
#include "harness.h"
#include "host_process.h"

namespace qmx::abi {
namespace {

constexpr int kGetState = 4;
constexpr int kGetLevel = 9;

std::string CnfPath() {
    char directory[MAX_PATH] = {};
    GetWindowsDirectoryA(directory, sizeof directory);
    return std::string(directory) + "\\cnf.ini";
}

void WriteText(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// The file's text, or "" when it cannot be opened (being replaced, say).
std::string ReadText(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    std::string text;
    char chunk[4096];
    for (DWORD got = 0; ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got != 0;) text.append(chunk, got);
    CloseHandle(file);
    return text;
}

std::string TempDirectory(const char* name) {
    char base[MAX_PATH] = {};
    GetTempPathA(sizeof base, base);
    const std::string path = std::string(base) + name;
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

// The value of the sample that starts with `series` ("" when none).
std::string Sample(const std::string& text, const std::string& series) {
    const std::size_t at = text.find("\n" + series + " ");
    if (at == std::string::npos) return "";
    const std::size_t from = at + series.size() + 2;
    return text.substr(from, text.find('\n', from) - from);
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::vector<std::uint8_t> LevelFrame(int tank, const std::string& level7) {
    char echo[4];
    std::snprintf(echo, sizeof echo, "L%02d", tank);
    return Frame(std::string(echo) + " 0A0" + level7 + "0001350" + "00000000000000" + "-125" + "0");
}

// Checks that the file at `path` holds, for each tank read, the level and
// the link state the host got.
struct TGot {
    TWord Tank;
    double Level;
    TWord State;
};
void CheckFileEqualsWhatTheHostGot(const std::string& path, const std::string& device, const TGot* got, int count) {
    const std::string text = ReadText(path);
    CHECK(text.find("qmx_driver_build_info{device=\"" + device + "\"") != std::string::npos);
    CHECK(text.find(",host=\"qmx_abi_host\"} 1\n") != std::string::npos);
    for (int i = 0; i < count; ++i) {
        const std::string tank = "{device=\"" + device + "\",tank=\"" + std::to_string(got[i].Tank + 1) + "\"}";
        CHECK_STR(Sample(text, "qmx_tank_link_state" + tank), std::to_string(got[i].State));
        CHECK_STR(Sample(text, "qmx_tank_level" + tank), got[i].State == 1 ? Number(got[i].Level) : "");
    }
}

ABI_TEST(MetricsOnABlockAreWhatTheHostGot) {
    const std::string dir = TempDirectory("qmx-metrics-block");
    DeleteFileA((dir + "\\qmx-block1.prom").c_str());
    WriteText(CnfPath(), "[QX]\r\nMetricsDir=" + dir + "\r\n");
    TFakeHost host;
    host.JudgeWithCheck = true;
    void* silo = NewSiloEx3(&host, 1, 1);
    struct TCase {
        TWord Tank;
        std::vector<std::uint8_t> Answer;
        std::uint8_t LineState;
    };
    const TCase cases[] = {
        {0, LevelFrame(1, "0012345"), 1},
        {1, [] { auto f = LevelFrame(2, "0012345"); f[10] ^= 1; return f; }(), 3},
        {2, {}, 2},
        {3, LevelFrame(4, "-000150"), 1},  // a negative level: refused
        {32, LevelFrame(33, "0000000"), 1},
    };
    TGot got[5];
    int count = 0;
    for (const TCase& c : cases) {
        host.Answer = c.Answer;
        host.LineState = c.LineState;
        const double level = CallSlot(silo, kGetLevel, {c.Tank}, true).St0;
        got[count++] = {c.Tank, level, CallSlot(silo, kGetState, {}).Eax & 0xFF};
    }
    CHECK_EQ(DestroySilo(silo).StackDelta, 0);
    CheckFileEqualsWhatTheHostGot(dir + "\\qmx-block1.prom", "block1", got, count);
    const std::string text = ReadText(dir + "\\qmx-block1.prom");
    CHECK(text.find("qmx_tank_failure_info{device=\"block1\",tank=\"2\",reason=\"check_byte\"} 1") != std::string::npos);
    CHECK(text.find("qmx_tank_failure_info{device=\"block1\",tank=\"4\",reason=\"invalid_value\"} 1") !=
          std::string::npos);
    DeleteFileA(CnfPath().c_str());
}

// Without the key nothing starts and nothing is written; with it, one
// writer per silo.
ABI_TEST(MetricsWriterIsTheOnlyThreadTheKeyAdds) {
    const std::string dir = TempDirectory("qmx-metrics-threads");
    DeleteFileA((dir + "\\qmx-block2.prom").c_str());
    struct TCase {
        const char* Cnf;
        int Threads;
        bool File;
    };
    const TCase cases[] = {
        {"[QX]\r\nConnectionType=1\r\n", 0, false},
        {"[QX]\r\nMetricsDir=\r\n", 0, false},
        {"[QX]\r\nConnectionType=1\r\nMetricsDir=DIR\r\n", 1, true},
    };
    for (const TCase& c : cases) {
        std::string cnf = c.Cnf;
        if (const auto at = cnf.find("DIR"); at != std::string::npos) cnf.replace(at, 3, dir);
        WriteText(CnfPath(), cnf);
        TFakeHost host;
        host.Answer = LevelFrame(1, "0012345");
        const int before = ThreadsOfThisProcess();
        void* silo = NewSiloEx3(&host, 2, 1);
        CHECK_EQ(ThreadsOfThisProcess() - before, c.Threads);
        CallSlot(silo, kGetLevel, {0}, true);
        DestroySilo(silo);
        CHECK_EQ(GetFileAttributesA((dir + "\\qmx-block2.prom").c_str()) != INVALID_FILE_ATTRIBUTES, c.File);
        // The writer has ended when the destroy returns.
        for (int i = 0; i < 100 && ThreadsOfThisProcess() != before; ++i) Sleep(10);
        CHECK_EQ(ThreadsOfThisProcess(), before);
    }
    DeleteFileA(CnfPath().c_str());
}

// A directory the file cannot be written in: the host reads on as without
// it, no message box, and the wire trace says so once, where the
// environment's QMX_TRACE or else cnf.ini's Trace names it.
ABI_TEST(MetricsInAReadOnlyDirectoryChangeNothingForTheHost) {
    const std::string trace = TempDirectory("qmx-metrics-trace") + "\\trace.txt";
    const std::string keyed = "[QX]\r\nMetricsDir=Z:\\proc\\qmx-no-such\r\n";
    struct TCase {
        bool FromEnvironment;
        std::string Cnf;
    };
    const TCase cases[] = {
        {true, keyed},
        {false, keyed + "Trace=" + trace + "\r\n"},
    };
    for (const TCase& c : cases) {
        DeleteFileA(trace.c_str());
        if (c.FromEnvironment) SetEnvironmentVariableA("QMX_TRACE", trace.c_str());
        WriteText(CnfPath(), c.Cnf);
        TFakeHost host;
        host.Answer = LevelFrame(1, "0012345");
        void* silo = NewSiloEx3(&host, 1, 1);
        for (int round = 0; round < 2; ++round) {
            const TCallResult call = CallSlot(silo, kGetLevel, {0}, true);
            CHECK_EQ(call.StackDelta, 0);
            CHECK_EQ(call.St0, 123.45);
            CHECK_EQ(CallSlot(silo, kGetState, {}).Eax & 0xFF, 1u);
            Sleep(1100);  // a second write is due
        }
        DestroySilo(silo);
        SetEnvironmentVariableA("QMX_TRACE", nullptr);
        const std::string said = ReadText(trace);
        const std::size_t first = said.find("metrics: cannot");
        CHECK(first != std::string::npos);
        CHECK(said.find("metrics: cannot", first + 1) == std::string::npos);
    }
    DeleteFileA(CnfPath().c_str());
}

struct TPoller {
    std::string Path;
    volatile LONG Stop = 0;
    int Reads = 0, Partial = 0;
};

DWORD WINAPI Poll(LPVOID argument) {
    auto& p = *static_cast<TPoller*>(argument);
    while (p.Stop == 0) {
        const std::string text = ReadText(p.Path);
        if (text.empty()) continue;
        ++p.Reads;
        const bool whole = text.rfind("# HELP qmx_tank_level ", 0) == 0 &&
                           text.find("qmx_driver_build_info{") != std::string::npos && text.back() == '\n';
        p.Partial += whole ? 0 : 1;
    }
    return 0;
}

// Run only by the line runner: COM<QMX_LINE_PORT> goes to the simulator,
// and QMX_METRICS_DIR, when set, names where the file is to be left for
// promtool. A reader polling the file meanwhile never finds it partial.
ABI_TEST(LineMetricsAreWhatTheHostGot) {
    const char* port = std::getenv("QMX_LINE_PORT");
    const char* given = std::getenv("QMX_METRICS_DIR");
    const std::string dir = given != nullptr ? given : TempDirectory("qmx-metrics-line");
    CHECK(port != nullptr);
    if (port == nullptr) return;
    const std::string device = std::string("com") + port;
    const std::string path = dir + "\\qmx-" + device + ".prom";
    WriteText(CnfPath(), "[QX]\r\nMetricsDir=" + dir + "\r\n");
    void* silo = NewSiloEx3(nullptr, static_cast<TWord>(std::atoi(port)), 0);
    CHECK(silo != nullptr);
    TPoller poller{path};
    HANDLE thread = CreateThread(nullptr, 0, &Poll, &poller, 0, nullptr);
    // Tank 2 answers 1.2 s late; tank 10 past the longest frame: invalid.
    const TWord tanks[] = {0, 19, 20, 9, 0, 1};
    TGot got[6];
    int count = 0;
    for (TWord tank : tanks) {
        const double level = CallSlot(silo, kGetLevel, {tank}, true).St0;
        got[count++] = {tank, level, CallSlot(silo, kGetState, {}).Eax & 0xFF};
    }
    CHECK_EQ(DestroySilo(silo).StackDelta, 0);
    InterlockedExchange(&poller.Stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    std::printf("  %d reads of the file while it was rewritten, %d partial\n", poller.Reads, poller.Partial);
    CHECK(poller.Reads > 0);
    CHECK_EQ(poller.Partial, 0);
    // Tank 1 was read twice: the file has its last reading, as all others.
    CheckFileEqualsWhatTheHostGot(path, device, got + 1, count - 1);
    const std::string overLong = "qmx_tank_failure_info{device=\"" + device + "\",tank=\"10\",reason=\"wrong_length\"} 1";
    CHECK(ReadText(path).find(overLong) != std::string::npos);
    DeleteFileA(CnfPath().c_str());
}

}  // namespace
}  // namespace qmx::abi
