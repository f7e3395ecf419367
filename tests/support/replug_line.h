#pragma once

// A line that can be unplugged and plugged in again, as a USB serial adapter
// is: COMn names a fixed path, a link to the slave of a pty; unplugging
// closes the pty's master (its slave then reads EIO and hangs up) and
// removes the path, as the adapter's device node goes; plugging in makes a
// new pty behind the same path. (A link left behind could come to name
// another test's pty once the number is given out again.)

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>


namespace qmx::test {

class TReplugLine {
public:
    explicit TReplugLine(int portNumber) : FVariable("QMX_COM" + std::to_string(portNumber)) {
        std::string pattern = (std::filesystem::temp_directory_path() / "qmx-line-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        FDirectory = pattern;
        FLink = FDirectory + "/adapter";
        ::setenv(FVariable.c_str(), FLink.c_str(), 1);
        Plug();
    }
    ~TReplugLine() {
        Unplug();
        ::setenv(FVariable.c_str(), "/nonexistent/qmx-test-port", 1);
        std::error_code ignored;
        std::filesystem::remove_all(FDirectory, ignored);
    }
    TReplugLine(const TReplugLine&) = delete;
    TReplugLine& operator=(const TReplugLine&) = delete;

    void Plug() {
        Unplug();
        int slave = -1;
        char name[256] = {};
        termios raw{};
        ::cfmakeraw(&raw);
        if (::openpty(&FMaster, &slave, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
        ::close(slave);
        // A child process (the reader under test) must not keep the far end.
        ::fcntl(FMaster, F_SETFD, FD_CLOEXEC);
        ::unlink(FLink.c_str());
        if (::symlink(name, FLink.c_str()) != 0) throw std::runtime_error("symlink failed");
    }
    void Unplug() {
        ::unlink(FLink.c_str());
        if (FMaster >= 0) ::close(FMaster);
        FMaster = -1;
    }
    int Master() const { return FMaster; }
    const std::string& Path() const { return FLink; }

private:
    std::string FDirectory;
    std::string FVariable;
    std::string FLink;
    int FMaster = -1;
};

}  // namespace qmx::test
