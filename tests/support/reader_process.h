#pragma once

// A tool run as a technician runs it (qmx-read, qmx-sim), in a child
// process: its standard output through a pipe, its standard error in a
// file, waited for with a deadline.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"

namespace qmx::test {

class TProgramProcess {
public:
    // Standard output through a pipe, or into the file `stdoutPath`, or to
    // the descriptor `stdoutFd` (which stays the caller's).
    TProgramProcess(const char* program, const std::vector<std::string>& arguments, const std::string& stdoutPath = "",
                    int stdoutFd = -1) {
        char errPattern[] = "/tmp/qmx-read-err-XXXXXX";
        const int err = ::mkostemp(errPattern, O_CLOEXEC);
        FErrPath = errPattern;
        int out[2] = {-1, -1};
        const bool piped = stdoutPath.empty() && stdoutFd < 0;
        if (piped && ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        const int target = piped ? out[1] : stdoutFd >= 0 ? stdoutFd : ::open(stdoutPath.c_str(), O_WRONLY | O_CLOEXEC);
        FChild = StartProgram(program, arguments, target, err);
        if (!stdoutPath.empty()) ::close(target);
        ::close(err);
        if (piped) {
            ::close(out[1]);
            FOut = out[0];
            ::fcntl(FOut, F_SETFL, ::fcntl(FOut, F_GETFL) | O_NONBLOCK);
        }
    }
    ~TProgramProcess() {
        if (FChild > 0 && !FReaped) {
            ::kill(FChild, SIGKILL);
            ::waitpid(FChild, nullptr, 0);
        }
        if (FOut >= 0) ::close(FOut);
        ::unlink(FErrPath.c_str());
    }
    TProgramProcess(const TProgramProcess&) = delete;
    TProgramProcess& operator=(const TProgramProcess&) = delete;

    // What it has written so far.
    std::string Output() {
        char chunk[4096];
        ssize_t got = 0;
        while (FOut >= 0 && (got = ::read(FOut, chunk, sizeof chunk)) > 0)
            FOutput.append(chunk, static_cast<std::size_t>(got));
        return FOutput;
    }
    std::string Errors() const {
        std::ifstream in(FErrPath);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // True once `text` is in the output (or, with `errors`, standard error).
    bool WaitFor(const std::string& text, std::chrono::seconds limit, bool errors = false) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while ((errors ? Errors() : Output()).find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    // The first line of the output, as soon as it has come (woken by the
    // pipe, not polled on a timer); empty when it has not within `limit`.
    std::string FirstLine(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (const auto end = Output().find('\n'); end != std::string::npos) return FOutput.substr(0, end);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0) return "";
            pollfd ready{FOut, POLLIN, 0};
            // Only a hang-up: the program has gone without the line.
            if (::poll(&ready, 1, static_cast<int>(left.count())) > 0 && (ready.revents & POLLIN) == 0) return "";
        }
    }
    void Signal(int signal) { ::kill(FChild, signal); }
    // As `head` does when it has what it wants.
    void CloseOutput() {
        Output();
        if (FOut >= 0) ::close(FOut);
        FOut = -1;
    }
    pid_t Id() const { return FChild; }
    // Its exit status; -1 when it has not ended within `limit`.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        const auto until = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (::waitpid(FChild, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        FReaped = true;
        Output();
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t FChild = -1;
    bool FReaped = false;
    int FOut = -1;
    std::string FOutput;
    std::string FErrPath;
};

class TReaderProcess : public TProgramProcess {
public:
    explicit TReaderProcess(const std::vector<std::string>& arguments, const std::string& stdoutPath = "",
                            int stdoutFd = -1)
        : TProgramProcess(QMX_READ_PATH, arguments, stdoutPath, stdoutFd) {}
};

// qmx-read exporting, its standard error in a file: where it serves is
// the line it says at the start.
class TExportingReader : public TReaderProcess {
public:
    explicit TExportingReader(const std::vector<std::string>& arguments) : TReaderProcess(arguments, "/dev/null") {}
    // The port it says it serves on at `host`; 0 when it says none in time.
    int Port(const std::string& host) const {
        const std::string said = "qmx-read: serving the metrics at http://" + host + ":";
        for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
             std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(std::chrono::milliseconds(10)))
            if (const auto at = Errors().find(said); at != std::string::npos)
                return std::atoi(Errors().c_str() + at + said.size());
        return 0;
    }
};

inline std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

}  // namespace qmx::test
