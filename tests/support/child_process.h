#pragma once

// A program run as its users run it, in a process of its own, its standard
// output and error going where the test wants to read them.

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

// Ends a child this test started and has not reaped.
inline void KillChild(pid_t child) {
    if (child <= 0) return;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

}  // namespace qmx::test
