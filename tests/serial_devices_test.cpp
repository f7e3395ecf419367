// The reader's list of serial devices, from a made-up sysfs: what has a
// device behind it, what the kernel found no chip for, and what the user
// may not open, all without opening anything.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "serial_devices.h"
#include "support/temp_dir.h"

namespace qmx::tools {
namespace {

namespace fs = std::filesystem;

class TFakeSystem {
public:
    TFakeSystem() {
        fs::create_directories(Sys());
        fs::create_directories(Dev());
        fs::create_directories(FDir.Path() / "drivers" / "ftdi_sio");
        fs::create_directories(FDir.Path() / "drivers" / "serial8250");
    }
    std::string Sys() const { return (FDir.Path() / "class-tty").string(); }
    std::string Dev() const { return (FDir.Path() / "dev").string(); }

    // A tty; `driver` empty for one with no device behind it (a virtual
    // terminal); `type` as the UART slot reports it, empty for none.
    void Tty(const std::string& name, const std::string& driver, const std::string& type = "",
             bool console = false, bool node = true, mode_t mode = 0666) {
        const fs::path entry = fs::path(Sys()) / name;
        fs::create_directories(entry);
        if (!driver.empty()) {
            fs::create_directories(entry / "device");
            fs::create_directory_symlink(FDir.Path() / "drivers" / driver, entry / "device" / "driver");
        }
        if (!type.empty()) std::ofstream(entry / "type") << type << "\n";
        std::ofstream(entry / "console") << (console ? "Y" : "N") << "\n";
        if (node) {
            const fs::path file = fs::path(Dev()) / name;
            std::ofstream(file).put('\0');
            ::chmod(file.c_str(), mode);
        }
    }

private:
    test::TWindowsDirectory FDir;
};

TEST(SerialDevices, ListedFromSysfsWithoutOpening) {
    TFakeSystem system;
    system.Tty("tty1", "");                       // a virtual terminal
    system.Tty("ttyS0", "serial8250", "4", true);  // a UART, the console
    system.Tty("ttyS1", "serial8250", "0");        // a slot with no chip
    system.Tty("ttyS2", "serial8250", "4");
    system.Tty("ttyUSB0", "ftdi_sio");
    system.Tty("ttyUSB1", "ftdi_sio", "", false, false);  // no node in /dev
    const auto devices = ListSerialDevicesUnder(system.Sys(), system.Dev(), {});
    ASSERT_EQ(devices.size(), 3u) << FormatDeviceList(devices);
    EXPECT_EQ(devices[0].Path, system.Dev() + "/ttyS0");
    EXPECT_EQ(devices[0].Com, "COM1");
    EXPECT_EQ(devices[0].Driver, "serial8250");
    EXPECT_EQ(devices[0].Note, "the system console");
    EXPECT_EQ(devices[1].Com, "COM3");
    EXPECT_EQ(devices[2].Path, system.Dev() + "/ttyUSB0");
    EXPECT_EQ(devices[2].Com, "");
    EXPECT_EQ(devices[2].Driver, "ftdi_sio");
    EXPECT_EQ(devices[2].Note, "");
}

TEST(SerialDevices, AComVariableTakesItsNumberAndPermissionsAreTold) {
    TFakeSystem system;
    system.Tty("ttyS2", "serial8250", "4");
    system.Tty("ttyUSB0", "ftdi_sio", "", false, true, 0600);
    const std::string simulator = system.Dev() + "/pts-gauge";
    std::ofstream(simulator).put('\0');
    const auto devices = ListSerialDevicesUnder(
        system.Sys(), system.Dev(),
        {{3, system.Dev() + "/ttyUSB0"}, {7, simulator}, {9, system.Dev() + "/missing"}});
    ASSERT_EQ(devices.size(), 3u) << FormatDeviceList(devices);
    EXPECT_EQ(devices[0].Path, simulator);
    EXPECT_EQ(devices[0].Com, "COM7");
    EXPECT_EQ(devices[0].Driver, "QMX_COM7");
    EXPECT_EQ(devices[1].Com, "") << "COM3 is the USB adapter now";
    EXPECT_EQ(devices[2].Com, "COM3");
    if (::geteuid() != 0) {
        ::chmod(devices[2].Path.c_str(), 0);
        EXPECT_NE(ListSerialDevicesUnder(system.Sys(), system.Dev(), {})[1].Note.find("permission denied"),
                  std::string::npos);
    }
}

TEST(SerialDevices, OneLineADeviceOrSayingThereIsNone) {
    EXPECT_EQ(FormatDeviceList({}), "no serial devices found\n");
    EXPECT_EQ(FormatDeviceList({{"/dev/ttyS0", "COM1", "serial8250", "the system console"},
                                {"/dev/ttyUSB0", "", "ftdi_sio", ""}}),
              "COM1    /dev/ttyS0                serial8250        the system console\n"
              "        /dev/ttyUSB0              ftdi_sio\n");
}

}  // namespace
}  // namespace qmx::tools
