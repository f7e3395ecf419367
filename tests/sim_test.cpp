// The simulator as the tools and the bench rely on it: the line's real
// character rate, the COM port end, its command line and the link it makes.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "com_line.h"
#include "gauge.h"
#include "pty_end.h"
#include "serial/gauge_tty.h"
#include "sim_options.h"
#include "sim_server.h"
#include "support/child_process.h"
#include "support/frames.h"
#include "support/pty_pair.h"
#include "support/reader_process.h"

namespace qmx::sim {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr std::size_t kLevelAnswerLength = 43;

// Sends the L request for tank 1 on `fd` and collects the answer; the times
// of the request and of the last answer byte.
struct TTimedAnswer {
    std::vector<std::uint8_t> Bytes;
    TClock::time_point Asked, Last;
    // When each read returned, and how many bytes had come by then. A read
    // may return late, never early: the times are upper bounds of when the
    // bytes went.
    std::vector<std::pair<TClock::time_point, std::size_t>> Arrivals;
};

TTimedAnswer AskLevel(int fd, std::size_t expected = kLevelAnswerLength) {
    TTimedAnswer answer;
    const auto request = test::Frame("L01");
    answer.Asked = TClock::now();
    EXPECT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    const auto until = answer.Asked + 5s;
    while (answer.Bytes.size() < expected && TClock::now() < until) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0) continue;
        std::uint8_t chunk[64];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got <= 0) continue;
        answer.Bytes.insert(answer.Bytes.end(), chunk, chunk + got);
        answer.Last = TClock::now();
        answer.Arrivals.emplace_back(answer.Last, answer.Bytes.size());
    }
    return answer;
}

TEST(SimPacing, AnAnswerTakesAtLeastItsTimeOnTheLine) {
    test::TPtyPair pty(9);
    const int driverEnd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(driverEnd, 0);
    TGauge gauge;
    TSimServer server(gauge, pty.Master());
    server.SetPacing(kLineCharacterTime);

    const TTimedAnswer answer = AskLevel(driverEnd);
    ::close(driverEnd);
    ASSERT_EQ(answer.Bytes.size(), kLevelAnswerLength);
    // Lower bounds only: the 6-byte request, then the answer, byte by byte:
    // by each read, no more bytes than the line could have carried.
    const auto requestTime = kLineCharacterTime * 6;
    EXPECT_GE(answer.Last - answer.Asked, requestTime + kLineCharacterTime * kLevelAnswerLength);
    for (const auto& [when, count] : answer.Arrivals)
        EXPECT_GE(when - answer.Asked, requestTime + kLineCharacterTime * static_cast<long long>(count))
            << count << " bytes came faster than the line carries them";
}

TEST(SimPacing, SlowAnswersKeepTheirGapsAndUnpacedOnesStillCome) {
    test::TPtyPair pty(9);
    const int driverEnd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(driverEnd, 0);
    TGauge gauge;
    TSimServer server(gauge, pty.Master());
    EXPECT_EQ(AskLevel(driverEnd).Bytes.size(), kLevelAnswerLength) << "unpaced by default";

    server.SetPacing(kLineCharacterTime);
    server.WithGauge([](TGauge& g) { g.SetFault(1, TFault::Slow); });
    const TTimedAnswer slow = AskLevel(driverEnd);
    ::close(driverEnd);
    ASSERT_EQ(slow.Bytes.size(), kLevelAnswerLength);
    for (const auto& [when, count] : slow.Arrivals)
        EXPECT_GE(when - slow.Asked, kLineCharacterTime * static_cast<long long>(6 + count));
}

// The COM port end the simulator uses on Windows, here on the POSIX comm
// backend: COM9 is a pty's slave, the test plays the driver on its master.
TEST(SimComLine, ServesTheGaugeThroughTheLibrarysSerialPort) {
    test::TPtyPair pty(9);
    TGauge gauge;
    gauge.Tank(1) = TTank{"AI-95", 1234.56, 0, 12.5, -12.5, 0.8123, TFault::None};
    TSimServer server(gauge, std::make_unique<TComLine>(9));
    ::fcntl(pty.Master(), F_SETFL, ::fcntl(pty.Master(), F_GETFL) | O_NONBLOCK);
    const TTimedAnswer answer = AskLevel(pty.Master());
    ASSERT_EQ(answer.Bytes.size(), kLevelAnswerLength);
    const std::string text(answer.Bytes.begin(), answer.Bytes.end());
    EXPECT_EQ(text.substr(1, 3), "L01");
    EXPECT_EQ(text.substr(8, 7), "0123456") << "the level field of the answer";
    EXPECT_EQ(server.Requests(), 1);
}

TEST(SimComLine, APortThatCannotBeOpenedRaisesTheSerialError) {
    ::setenv("QMX_COM9", "/nonexistent/qmx-test-port", 1);
    EXPECT_THROW(TComLine line(9), EOpenPortFail);
}

TEST(SimGauge, FaultsForTheNextRequestsQueueInTheOrderGiven) {
    const std::pair<std::vector<std::pair<TFault, int>>, std::string> cases[] = {
        {{}, "answer answer"},
        {{{TFault::NoAnswer, 2}, {TFault::Late, 1}}, "silent silent late answer"},
        {{{TFault::Late, 1}, {TFault::NoAnswer, 1}, {TFault::Short, 2}}, "late silent short short answer"},
    };
    for (const auto& [queued, outcomes] : cases) {
        TGauge gauge;
        for (const auto& [fault, count] : queued) gauge.AddFaultNext(fault, count);
        std::string got;
        for (int i = 0; got.size() < outcomes.size(); ++i) {
            const auto reply = gauge.Answer(test::Frame(i % 2 == 0 ? "L01" : "G02"), 0);
            got += std::string(got.empty() ? "" : " ") +
                   (!reply ? "silent" : reply->DelayMs > 0 ? "late" : reply->Bytes.size() < 43 ? "short" : "answer");
        }
        EXPECT_EQ(got, outcomes);
    }
}

// The settings that matter to the gauge's line, in words; the frame bits
// only when asked for (Linux ptys keep 8 bits without parity, whatever
// they are told).
std::string LineOf(const termios& s, bool frameBits = true) {
    std::string text = !frameBits ? "" : (s.c_cflag & CSIZE) == CS7 && (s.c_cflag & PARENB) ? "7E " : "not 7E ";
    if ((s.c_cflag & (PARODD | CMSPAR)) != 0) text += "odd ";
    if ((s.c_cflag & CSTOPB) != 0) text += "2 stop bits ";
    if ((s.c_cflag & CRTSCTS) != 0 || (s.c_iflag & (IXON | IXOFF)) != 0) text += "flow control ";
    if ((s.c_lflag & (ICANON | ECHO)) != 0 || (s.c_oflag & OPOST) != 0) text += "cooked ";
    return text + (::cfgetispeed(&s) == B9600 && ::cfgetospeed(&s) == B9600 ? "9600" : "another speed");
}

termios Cooked(speed_t speed, tcflag_t frame) {
    termios settings{ICRNL | IXON, OPOST, frame | CREAD, ICANON | ECHO, 0, {}, 0, 0};
    ::cfsetspeed(&settings, speed);
    return settings;
}

TEST(SimLineSettings, TheGaugesLineWhateverTheDeviceHadBefore) {
    for (const termios& before : {termios{}, Cooked(B38400, CS8 | PARENB | PARODD | CSTOPB | CRTSCTS),
                                  Cooked(B1200, CS7 | PARENB | PARODD | CMSPAR)})
        EXPECT_EQ(LineOf(GaugeLineSettings(before)), "7E 9600") << LineOf(before);
}

// On a pty left as another program might leave it, read back on its
// master; the frame bits where this kernel's ptys keep them.
TEST(SimLineSettings, ADeviceIsSetToTheGaugesLineAndServed) {
    std::string slave;
    const int master = test::OpenRawPty(slave);
    const int probe = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    const termios seven = Cooked(B9600, CS7 | PARENB);
    ::tcsetattr(probe, TCSANOW, &seven);
    termios settings{};
    ::tcgetattr(master, &settings);
    const bool keepsFrameBits = (settings.c_cflag & CSIZE) == CS7;
    const termios left = Cooked(B38400, CS8 | PARODD | CSTOPB | CRTSCTS);
    ASSERT_EQ(::tcsetattr(probe, TCSANOW, &left), 0);
    ::close(probe);
    test::TProgramProcess sim(QMX_SIM_PATH, {"--device", slave, "--no-pace"});
    ASSERT_EQ(sim.FirstLine(20s), slave) << sim.Errors();
    ASSERT_EQ(::tcgetattr(master, &settings), 0);
    EXPECT_EQ(LineOf(settings, keepsFrameBits), keepsFrameBits ? "7E 9600" : "9600");
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    EXPECT_EQ(AskLevel(master).Bytes.size(), kLevelAnswerLength);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(10s), 0);
    ::close(master);
}

TEST(SimOptions, ValuesAfterAnEqualsSignOrAsTheNextArgument) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--config", "a.ini", "--com", "7", "--fault", "late:1-2", "--fault-next", "junk:3", "--no-pace",
              "--fault", "slow:5"},
             {"--config=a.ini", "--com=7", "--fault=late:1-2", "--fault-next=junk:3", "--no-pace", "--fault=slow:5"}}) {
        const auto parsed = ParseSimOptions(arguments);
        ASSERT_TRUE(std::holds_alternative<TSimOptions>(parsed)) << std::get<std::string>(parsed);
        const auto& options = std::get<TSimOptions>(parsed);
        EXPECT_EQ(options.Config, "a.ini");
        EXPECT_EQ(options.Com, 7);
        EXPECT_FALSE(options.Pace);
        ASSERT_EQ(options.Faults.size(), 2u) << "each --fault adds one";
        EXPECT_EQ(options.Faults[0].Fault, TFault::Late);
        EXPECT_EQ(options.Faults[0].Tanks, (std::vector<int>{1, 2}));
        EXPECT_EQ(options.Faults[1].Fault, TFault::Slow);
        EXPECT_EQ(options.Faults[1].Tanks, (std::vector<int>{5}));
        ASSERT_EQ(options.FaultsNext.size(), 1u);
        EXPECT_EQ(options.FaultsNext[0], std::make_pair(TFault::Junk, 3));
    }
    const auto repeated = ParseSimOptions({"--fault-next", "no-answer:2", "--fault-next=late:1", "--fault-next", "junk"});
    EXPECT_EQ(std::get<TSimOptions>(repeated).FaultsNext,
              (std::vector<std::pair<TFault, int>>{{TFault::NoAnswer, 2}, {TFault::Late, 1}, {TFault::Junk, 1}}));
}

TEST(SimOptions, ProblemsAreNamedShortly) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--config"}, "--config needs a value"},
        {{"--no-pace=1"}, "--no-pace takes no value"},
        {{"--com", "0"}, "--com takes a port number from 1 to 253, not '0'"},
        {{"--com=254"}, "--com takes a port number from 1 to 253, not '254'"},
        {{"--fault-next", "late:x"}, "--fault-next takes KIND:COUNT with a count from 1, not 'late:x'"},
        {{"--fault", "loud"}, "unknown fault 'loud' (one of " + FaultNames() + ")"},
        {{"--com", "3", "--device", "/dev/null"}, "--com and --device cannot go together"},
        {{"--link", "/tmp/g", "--com", "3"}, "--link and --com cannot go together"},
        {{"--device=/dev/null", "--link", "/tmp/g"}, "--device and --link cannot go together"},
        {{"--replay", "w.log", "--config", "s.ini"}, "--replay and --config cannot go together"},
        {{"--fault", "late", "--replay=w.log"}, "--fault and --replay cannot go together"},
        {{"--replay", "w.log", "--fault-next", "late:1", "--fault-next", "junk"},
         "--replay and --fault-next cannot go together"},
    };
    for (const auto& [arguments, problem] : cases) {
        const auto parsed = ParseSimOptions(arguments);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << arguments[0];
        EXPECT_EQ(std::get<std::string>(parsed), problem);
    }
}

class SimLink : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qmx-sim-link-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        FDir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(FDir); }
    std::filesystem::path FDir;
};

TEST_F(SimLink, OnlyAbsentPathsAndLinksToAPtyMayBecomeTheLink) {
    std::ofstream(FDir / "file") << "notes";
    std::filesystem::create_directory(FDir / "dir");
    std::filesystem::create_symlink("/etc/hostname", FDir / "foreign");
    std::filesystem::create_symlink(FDir / "file", FDir / "to-file");
    std::filesystem::create_symlink("/dev/pts/4095", FDir / "stale");
    const std::pair<const char*, bool> cases[] = {
        {"absent", true}, {"stale", true}, {"file", false}, {"dir", false}, {"foreign", false}, {"to-file", false},
    };
    for (const auto& [name, allowed] : cases)
        EXPECT_EQ(!LinkRefusal((FDir / name).string()).has_value(), allowed) << name;
}

TEST_F(SimLink, AStaleLinkIsReplacedAndRemovedAfterwards) {
    const auto link = FDir / "gauge";
    std::filesystem::create_symlink("/dev/pts/4095", link);
    std::ofstream(FDir / "gauge.lock") << "99999\n";  // left by one that was killed: held by nobody
    {
        TPtyEnd end(link.string());
        EXPECT_EQ(end.Name(), link.string());
        const auto target = std::filesystem::read_symlink(link).string();
        EXPECT_NE(target, "/dev/pts/4095");
        try {
            TPtyEnd second(link.string());
            ADD_FAILURE() << "a link served on was taken over";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(error.what(), "will not replace " + link.string() + ": qmx-sim pid " + std::to_string(::getpid()) +
                                        " serves on it");
        }
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), target) << "the first one's link stays";
        EXPECT_EQ(target.rfind("/dev/pts/", 0), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST_F(SimLink, ALinkPutInItsPlaceMeanwhileIsLeftAlone) {
    const auto link = FDir / "gauge";
    {
        TPtyEnd end(link.string());
        std::filesystem::remove(link);
        std::filesystem::create_symlink("/etc/hostname", link);
    }
    EXPECT_EQ(std::filesystem::read_symlink(link), "/etc/hostname");
}

// The program itself, for what only it does: refusals, the version, the
// help's line settings.
struct TRun {
    int Status = -1;
    std::string Out, Err;
};

TRun RunSimulator(const std::vector<std::string>& arguments) {
    char outPath[] = "/tmp/qmx-sim-out-XXXXXX";
    char errPath[] = "/tmp/qmx-sim-err-XXXXXX";
    const int out = ::mkstemp(outPath);
    const int err = ::mkstemp(errPath);
    const pid_t child = test::StartProgram(QMX_SIM_PATH, arguments, out, err);
    ::close(out);
    ::close(err);
    TRun run;
    int status = 0;
    // Every run here ends by itself at once; a hung one is killed.
    const auto until = TClock::now() + 10s;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (TClock::now() > until) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            break;
        }
        ::usleep(10000);
    }
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto slurp = [](const char* path) {
        std::stringstream text;
        text << std::ifstream(path).rdbuf();
        ::unlink(path);
        return text.str();
    };
    run.Out = slurp(outPath);
    run.Err = slurp(errPath);
    return run;
}

TEST_F(SimLink, TheProgramRefusesToReplaceWhatIsNotItsOwnLink) {
    std::ofstream(FDir / "station.txt") << "notes";
    std::filesystem::create_directory(FDir / "dir");
    std::filesystem::create_symlink("/etc/hostname", FDir / "foreign");
    for (const char* name : {"station.txt", "dir", "foreign"}) {
        const auto path = (FDir / name).string();
        const TRun run = RunSimulator({"--link", path});
        EXPECT_EQ(run.Status, 2) << name;
        EXPECT_EQ(run.Err.rfind("qmx-sim: will not replace " + path + ": ", 0), 0u) << run.Err;
        EXPECT_EQ(run.Out, "") << name;
    }
    std::stringstream kept;
    kept << std::ifstream(FDir / "station.txt").rdbuf();
    EXPECT_EQ(kept.str(), "notes");
    EXPECT_TRUE(std::filesystem::is_directory(FDir / "dir"));
    EXPECT_EQ(std::filesystem::read_symlink(FDir / "foreign"), "/etc/hostname");
}

// Started with standard input, output or error closed, the simulator's pty
// must not take that number: its name and its trace would go on the line.
TEST_F(SimLink, WithAStandardStreamClosedTheLineCarriesOnlyAnswers) {
    for (const int closed : {0, 1, 2}) {
        const std::string link = (FDir / ("gauge" + std::to_string(closed))).string();
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        const pid_t sim =
            test::StartProgram(QMX_SIM_PATH, {"--link", link, "--no-pace", "--trace", "-"}, null, null, closed);
        ::close(null);
        int driverEnd = -1;
        for (const auto until = TClock::now() + 20s; driverEnd < 0 && TClock::now() < until;)
            if ((driverEnd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) < 0)
                std::this_thread::sleep_for(10ms);
        EXPECT_GE(driverEnd, 0) << closed;
        const TTimedAnswer answer = AskLevel(driverEnd);
        ::close(driverEnd);
        ::kill(sim, SIGTERM);
        if (test::WaitForExit(sim, 10s) < 0) test::KillChild(sim);
        const std::string text(answer.Bytes.begin(), answer.Bytes.end());
        EXPECT_EQ(text.substr(0, 4), "\x02L01") << closed << ": " << text;
    }
}

// A stop sent the moment the path is out, before the simulator may have
// begun to wait for one, or taken by another of its threads: each of 30
// ends it with status 0 and its link removed, whichever stop it is (a
// terminal closed is a SIGHUP). Three run at once, as on a busy machine.
TEST_F(SimLink, AStopTheMomentThePathIsOutEndsItCleanly) {
    constexpr int kRuns = 30, kAtOnce = 3;
    std::vector<std::string> outcomes(kRuns);
    std::vector<std::thread> runners;
    for (int first = 0; first < kAtOnce; ++first)
        runners.emplace_back([&, first] {
            for (int run = first; run < kRuns; run += kAtOnce) {
                const std::string link = (FDir / ("gauge" + std::to_string(run))).string();
                test::TProgramProcess sim(QMX_SIM_PATH, {"--link", link});
                const int stops[] = {SIGTERM, SIGHUP, SIGINT};
                if (sim.FirstLine(20s) == link) sim.Signal(stops[run % 3]);
                outcomes[run] = "status " + std::to_string(sim.Wait(10s));
                for (const auto& left : {link, link + ".lock"})
                    if (std::filesystem::exists(std::filesystem::symlink_status(left))) outcomes[run] += ", left " + left;
            }
        });
    for (auto& runner : runners) runner.join();
    for (int run = 0; run < kRuns; ++run) EXPECT_EQ(outcomes[run], "status 0") << "run " << run;
}

TEST(SimProgram, ATraceFifoWithNoReaderIsRefusedAtOnce) {
    const std::string fifo = "/tmp/qmx-sim-fifo-" + std::to_string(::getpid());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const TRun run = RunSimulator({"--trace", fifo});
    ::unlink(fifo.c_str());
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err, "qmx-sim: cannot write the trace to " + fifo + ": a FIFO with no reader\n");
    EXPECT_EQ(run.Out, "") << "refused before the pty is made";
}

// Standard output and error both pipes nobody reads: the simulator is
// blocked printing its pty's name, and a signal still ends it at once.
TEST(SimProgram, ASignalEndsItWithinASecondThoughItsOutputsAreBlocked) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        test::TFullPipe out, err;
        const pid_t sim = test::StartProgram(QMX_SIM_PATH, {"--trace", "-"}, out.WriteEnd(), err.WriteEnd());
        EXPECT_TRUE(test::BlockedOnAPipe(sim)) << signal;
        ::kill(sim, signal);
        const int status = test::WaitForExit(sim, 1s);
        if (status < 0) test::KillChild(sim);
        EXPECT_EQ(status, 0) << signal;
    }
}

TEST(SimProgram, VersionHelpAndAShortHint) {
    const TRun version = RunSimulator({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out.rfind("qmx-sim ", 0), 0u);
    EXPECT_GT(version.Out.size(), std::string("qmx-sim \n").size());

    const TRun help = RunSimulator({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("9600 baud, 7 data bits, even parity, 1 stop bit"), std::string::npos);

    const TRun unknown = RunSimulator({"--no-pac"});
    EXPECT_EQ(unknown.Status, 2);
    EXPECT_EQ(unknown.Err,
              "qmx-sim: unknown option '--no-pac' (did you mean --no-pace?)\nTry 'qmx-sim --help' for the usage.\n");
    EXPECT_EQ(unknown.Out, "");
}

}  // namespace
}  // namespace qmx::sim
