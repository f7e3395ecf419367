#pragma once

// A program run as its users run it, in a process of its own, its standard
// output and error going where the test wants to read them.

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qmx::test {

// Starts `program` with `arguments`, its standard output on `out` and its
// standard error on `err`, and descriptor `closed` (0, 1 or 2; -1 none)
// closed, as a shell's `>&-` leaves it; the child's id, -1 when no process
// could be made.
inline pid_t StartProgram(const char* program, const std::vector<std::string>& arguments, int out, int err,
                          int closed = -1) {
    // Built before the fork: between fork and exec a child of a process
    // with threads must not allocate.
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        if (closed >= 0) ::close(closed);
        ::execv(program, argv.data());
        ::_exit(127);
    }
    return child;
}

// The child's exit status, 128 + the signal that ended it, or -1 when it
// has not ended within `limit` (it is then left running).
inline int WaitForExit(pid_t child, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A pipe whose buffer is full and that nobody reads: a write to it blocks.
class TFullPipe {
public:
    TFullPipe() {
        if (::pipe2(FEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        ::fcntl(FEnds[1], F_SETFL, O_NONBLOCK);
        const std::string block(4096, 'x');
        while (::write(FEnds[1], block.data(), block.size()) > 0) {
        }
        ::fcntl(FEnds[1], F_SETFL, 0);
    }
    ~TFullPipe() {
        ::close(FEnds[0]);
        ::close(FEnds[1]);
    }
    TFullPipe(const TFullPipe&) = delete;
    TFullPipe& operator=(const TFullPipe&) = delete;
    int WriteEnd() const { return FEnds[1]; }

private:
    int FEnds[2] = {-1, -1};
};

// Whether the process's main thread is blocked writing to a pipe; waits
// up to `limit` for it.
inline bool BlockedOnAPipe(pid_t pid, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/wchan");
        std::string where;
        in >> where;
        if (where.find("pipe_write") != std::string::npos) return true;
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Whether the process has stopped (SIGSTOP), as /proc shows its state;
// waits up to `limit` for it.
inline bool Stopped(pid_t pid, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string stat;
        std::getline(in, stat);
        // "PID (NAME) STATE ...": the name may hold anything, a ')' too.
        const auto name = stat.rfind(')');
        if (name != std::string::npos && name + 2 < stat.size() && stat[name + 2] == 'T') return true;
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Ends a child this test started and has not reaped.
inline void KillChild(pid_t child) {
    if (child <= 0) return;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

}  // namespace qmx::test
