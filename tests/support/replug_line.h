#pragma once

// A line that can be unplugged and plugged in again, as a USB serial adapter
// is: COMn names a fixed path, a link to the slave of a pty; unplugging
// closes the pty's master (its slave then reads EIO and hangs up) and
// removes the path, as the adapter's device node goes; plugging in makes a
// new pty behind the same path. (A link left behind could come to name
// another test's pty once the number is given out again.)

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "support/pty_pair.h"

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
        std::string slave;
        FMaster = OpenRawPty(slave);
        if (::symlink(slave.c_str(), FLink.c_str()) != 0) throw std::runtime_error("symlink failed");
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
