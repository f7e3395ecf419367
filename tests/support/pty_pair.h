#pragma once

// A pseudo-terminal pair for tests: the port under test opens the slave by
// path (through QMX_COMn), the test plays the far end on the master.

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace qmx::test {

// Makes a pty and returns its master; `slavePath` names the slave, which
// the port under test opens itself. Raw from the start, as a serial line
// is: bytes that arrive before the port opens wait as they came, neither
// echoed nor held for a line's end. A child process (the reader under
// test) does not keep the master.
inline int OpenRawPty(std::string& slavePath) {
    int master = -1, slave = -1;
    char name[256] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
    ::close(slave);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    slavePath = name;
    return master;
}

class TPtyPair {
public:
    // Makes COM`portNumber` name this pty's slave while the pair lives.
    explicit TPtyPair(int portNumber) : FVariable("QMX_COM" + std::to_string(portNumber)) {
        FMaster = OpenRawPty(FSlavePath);
        ::setenv(FVariable.c_str(), FSlavePath.c_str(), 1);
    }
    ~TPtyPair() {
        HangUp();
        ::setenv(FVariable.c_str(), "/nonexistent/qmx-test-port", 1);
    }
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    int Master() const { return FMaster; }
    const std::string& SlavePath() const { return FSlavePath; }
    // Closes the far end, as a cable pulled out.
    void HangUp() {
        if (FMaster >= 0) ::close(FMaster);
        FMaster = -1;
    }

private:
    std::string FVariable;
    std::string FSlavePath;
    int FMaster = -1;
};

}  // namespace qmx::test
