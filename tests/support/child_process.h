#pragma once

// A program run as its users run it, in a process of its own, its standard
// output and error going where the test wants to read them.

#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace qmx::test {

// Starts `program` with `arguments`, its standard output on `out` and its
// standard error on `err`; the child's id, -1 when no process could be made.
inline pid_t StartProgram(const char* program, const std::vector<std::string>& arguments, int out, int err) {
    // Built before the fork: between fork and exec a child of a process
    // with threads must not allocate.
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execv(program, argv.data());
        ::_exit(127);
    }
    return child;
}

}  // namespace qmx::test
