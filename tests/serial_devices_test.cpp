// The list of serial devices, from a made-up sysfs: what has a
// device behind it, what the kernel found no chip for, and what the user
// may not open, all without opening anything; and COM ports' names.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "device_filter.h"
#include "device_list.h"
#include "serial/com_port_name.h"
#include "serial/serial_devices.h"
#include "support/temp_dir.h"

namespace qmx {
namespace {

namespace fs = std::filesystem;
using tools::FormatDeviceList;
using tools::FormatDeviceListJson;

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
    TDeviceTree Tree() const {
        const fs::path serial = FDir.Path() / "dev" / "serial";
        return {Sys(), Dev(), (serial / "by-id").string(), (serial / "by-path").string()};
    }

    // A tty as this kernel lays it out: the tty's device is `chain`'s last
    // directory below devices/, each with the driver of its bus ("bus/name"
    // or empty) and, for a USB device, its descriptors.
    struct TLevel {
        std::string Name;
        std::string Driver;  // "serial-base/port", "usb/ftdi_sio"
        std::map<std::string, std::string> Files = {};
    };
    void TtyOn(const std::string& name, const std::vector<TLevel>& chain) {
        fs::path at = FDir.Path() / "devices";
        for (const auto& level : chain) {
            at /= level.Name;
            fs::create_directories(at);
            if (!level.Driver.empty()) {
                const fs::path driver = FDir.Path() / "bus" / fs::path(level.Driver).parent_path() / "drivers" /
                                        fs::path(level.Driver).filename();
                fs::create_directories(driver);
                fs::create_directory_symlink(driver, at / "driver");
            }
            for (const auto& [file, text] : level.Files) std::ofstream(at / file) << text << "\n";
        }
        const fs::path entry = fs::path(Sys()) / name;
        fs::create_directories(entry);
        fs::create_directory_symlink(at, entry / "device");
        std::ofstream(fs::path(Dev()) / name).put('\0');
        ::chmod((fs::path(Dev()) / name).c_str(), 0666);
    }
    // A udev link to `node` in by-id or by-path (`directory`).
    void Link(const std::string& directory, const std::string& link, const std::string& node) {
        fs::create_directories(directory);
        fs::create_symlink(fs::path(Dev()) / node, fs::path(directory) / link);
    }
    void ById(const std::string& link, const std::string& node) { Link(Tree().ById, link, node); }

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
    const auto devices = ListSerialDevicesUnder(system.Tree(), {});
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
        system.Tree(),
        {{3, system.Dev() + "/ttyUSB0"}, {7, simulator}, {9, system.Dev() + "/missing"}});
    ASSERT_EQ(devices.size(), 3u) << FormatDeviceList(devices);
    EXPECT_EQ(devices[0].Path, simulator);
    EXPECT_EQ(devices[0].Com, "COM7");
    EXPECT_EQ(devices[0].Driver, "QMX_COM7");
    EXPECT_EQ(devices[1].Com, "") << "COM3 is the USB adapter now";
    EXPECT_EQ(devices[2].Com, "COM3");
    if (::geteuid() != 0) {
        ::chmod(devices[2].Path.c_str(), 0);
        EXPECT_NE(ListSerialDevicesUnder(system.Tree(), {})[1].Note.find("permission denied"),
                  std::string::npos);
    }
}

TEST(SerialDevices, TheRealDriverAndTheUsbIdentityOnThisKernelsLayout) {
    TFakeSystem system;
    // A UART behind the serial-base bus's port and controller devices.
    system.TtyOn("ttyS0", {{"pnp0", ""}, {"00:00", "pnp/serial"}, {"00:00:0", "serial-base/ctrl"},
                           {"00:00:0.0", "serial-base/port"}});
    system.TtyOn("ttyS10", {{"platform", ""}, {"serial8250", "platform/serial8250"},
                            {"serial8250:0", "serial-base/ctrl"}, {"serial8250:0.10", "serial-base/port"}});
    system.TtyOn("ttyS2", {{"platform2", ""}, {"serial8250", "platform/serial8250"},
                           {"serial8250:0", "serial-base/ctrl"}, {"serial8250:0.2", "serial-base/port"}});
    // A usb-serial adapter: the tty on a port below the interface.
    system.TtyOn("ttyUSB0", {{"usb1", ""},
                             {"1-1", "usb/usb", {{"idVendor", "0403"}, {"idProduct", "6001"}, {"manufacturer", "FTDI"},
                                                 {"product", "FT232R USB UART"}, {"serial", "A10K7QZ1"}}},
                             {"1-1:1.0", "usb/ftdi_sio"},
                             {"ttyUSB0", "usb-serial/ftdi_sio"}});
    // A modem-class adapter: the tty on the interface itself; no serial.
    system.TtyOn("ttyACM0", {{"usb2", ""},
                             {"2-1", "usb/usb", {{"idVendor", "2341"}, {"idProduct", "0043"}, {"product", "Uno"}}},
                             {"2-1:1.0", "usb/cdc_acm"}});
    system.ById("usb-FTDI_FT232R_USB_UART_A10K7QZ1-if00-port0", "ttyUSB0");
    const auto devices = ListSerialDevicesUnder(system.Tree(), {});
    std::vector<std::string> names, drivers;
    for (const auto& device : devices) {
        names.push_back(fs::path(device.Path).filename().string());
        drivers.push_back(device.Driver);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS2", "ttyS10", "ttyUSB0"}));
    EXPECT_EQ(drivers, (std::vector<std::string>{"cdc_acm", "serial", "serial8250", "serial8250", "ftdi_sio"}));
    const TSerialDevice& ftdi = devices[4];
    EXPECT_EQ(ftdi.UsbVid + ":" + ftdi.UsbPid, "0403:6001");
    EXPECT_EQ(ftdi.Manufacturer, "FTDI");
    EXPECT_EQ(ftdi.Product, "FT232R USB UART");
    EXPECT_EQ(ftdi.SerialNumber, "A10K7QZ1");
    EXPECT_EQ(ftdi.ById, system.Tree().ById + "/usb-FTDI_FT232R_USB_UART_A10K7QZ1-if00-port0");
    EXPECT_EQ(devices[0].UsbVid + ":" + devices[0].UsbPid + " " + devices[0].Product, "2341:0043 Uno");
    EXPECT_EQ(devices[0].SerialNumber, "");
    EXPECT_EQ(devices[1].UsbVid, "") << "a UART is no USB device";
    EXPECT_EQ(devices[1].Com, "COM1");
    EXPECT_EQ(devices[3].Com, "COM11");
}

// Two adapters of one make without serial numbers, on two ports of a hub:
// their place tells them apart, and --match finds each by it.
TEST(SerialDevices, AdaptersWithoutASerialNumberAreToldApartByPlace) {
    TFakeSystem system;
    const auto ch340 = [](const std::string& port) {
        return std::vector<TFakeSystem::TLevel>{
            {"usb1", ""},
            {port, "usb/usb", {{"idVendor", "1a86"}, {"idProduct", "7523"}, {"product", "USB Serial"}}},
            {port + ":1.0", "usb/ch341"},
            {"tty", "usb-serial/ch341"}};
    };
    system.TtyOn("ttyUSB0", ch340("1-1.2"));
    system.TtyOn("ttyUSB1", ch340("1-1.4"));
    system.TtyOn("ttyACM0", {{"usb2", ""},
                             {"2-1", "usb/usb", {{"idVendor", "2341"}, {"idProduct", "0043"}, {"serial", "7523A"}}},
                             {"2-1:1.0", "usb/cdc_acm"}});
    system.TtyOn("ttyS0", {{"pnp0", ""}, {"00:00", "pnp/serial"}});
    const std::string byPath = system.Tree().ByPath + "/";
    system.Link(system.Tree().ByPath, "pci-0000:00:14.0-usb-0:1.2:1.0-port0", "ttyUSB0");
    system.Link(system.Tree().ByPath, "pci-0000:00:14.0-usb-0:1.4:1.0-port0", "ttyUSB1");
    system.Link(system.Tree().ByPath, "pci-0000:00:14.0-usbv2-0:1.4:1.0-port0", "ttyUSB1");
    const auto devices = ListSerialDevicesUnder(system.Tree(), {});
    struct TPlace {
        const char* Name;
        const char* Location;
        const char* ByPath;  // the first link in natural order when there are several
    };
    const TPlace places[] = {
        {"ttyACM0", "2-1:1.0", ""},
        {"ttyS0", "", ""},
        {"ttyUSB0", "1-1.2:1.0", "pci-0000:00:14.0-usb-0:1.2:1.0-port0"},
        {"ttyUSB1", "1-1.4:1.0", "pci-0000:00:14.0-usb-0:1.4:1.0-port0"},
    };
    ASSERT_EQ(devices.size(), std::size(places)) << FormatDeviceList(devices);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        EXPECT_EQ(devices[i].Path, system.Dev() + "/" + places[i].Name);
        EXPECT_EQ(devices[i].Location, places[i].Location) << places[i].Name;
        EXPECT_EQ(devices[i].ByPath, *places[i].ByPath ? byPath + places[i].ByPath : "") << places[i].Name;
    }
    struct TMatch {
        const char* Pattern;
        std::vector<std::string> Kept;
    };
    const TMatch matches[] = {
        {"1A86:7523", {"ttyUSB0", "ttyUSB1"}},
        {"2341:", {"ttyACM0"}},
        {"2341:7523", {}},
        {"usb-0:1\\.4:", {"ttyUSB1"}},           // by-path
        {"LOCATION=1-1\\.2:", {"ttyUSB0"}},       // the hardware id
        {"ser=7523a", {"ttyACM0"}},               // case ignored
        {"usb serial", {"ttyUSB0", "ttyUSB1"}},   // the product
        {"ttyS", {"ttyS0"}},                      // the path
        {"^nothing$", {}},
    };
    for (const auto& m : matches) {
        std::string problem;
        const auto filter = tools::TDeviceFilter::Parse(m.Pattern, problem);
        ASSERT_TRUE(filter) << m.Pattern << ": " << problem;
        std::vector<std::string> kept;
        for (const auto& device : filter->Keep(devices)) kept.push_back(fs::path(device.Path).filename().string());
        EXPECT_EQ(kept, m.Kept) << m.Pattern;
    }
    std::string problem;
    EXPECT_FALSE(tools::TDeviceFilter::Parse("usb-0:1.4:(", problem));
    EXPECT_NE(problem.find("'usb-0:1.4:(' is neither"), std::string::npos) << problem;
}

TEST(SerialDevices, NaturalOrder) {
    const std::pair<const char*, const char*> before[] = {
        {"/dev/ttyS2", "/dev/ttyS10"}, {"/dev/ttyS9", "/dev/ttyS10"}, {"/dev/ttyACM0", "/dev/ttyS0"},
        {"/dev/ttyS1", "/dev/ttyS1x"}, {"/dev/ttyUSB2", "/dev/ttyUSB10"}, {"a02", "a3"}, {"a2b1", "a2b10"}};
    for (const auto& [a, b] : before) {
        EXPECT_TRUE(NaturallyBefore(a, b)) << a << " before " << b;
        EXPECT_FALSE(NaturallyBefore(b, a)) << b << " after " << a;
    }
    EXPECT_FALSE(NaturallyBefore("/dev/ttyS3", "/dev/ttyS3"));
    EXPECT_NE(NaturallyBefore("a01", "a1"), NaturallyBefore("a1", "a01")) << "equal numbers still order";
}

TEST(SerialDevices, OneLineADeviceOrSayingThereIsNone) {
    EXPECT_EQ(FormatDeviceList({}), "no serial devices found\n");
    EXPECT_EQ(FormatDeviceList({{"/dev/ttyS0", "COM1", "serial8250", "the system console"},
                                {"/dev/ttyUSB0", "", "ftdi_sio", ""}}),
              "COM     DEVICE                    DRIVER            LOCATION       NOTE\n"
              "COM1    /dev/ttyS0                serial8250                       the system console\n"
              "        /dev/ttyUSB0              ftdi_sio\n");
    TSerialDevice usb;
    usb.Path = "/dev/ttyUSB0";
    usb.Driver = "ftdi_sio";
    usb.UsbVid = "0403";
    usb.UsbPid = "6001";
    usb.Manufacturer = "FTDI";
    usb.Product = "FT232R \"USB\" UART";
    usb.SerialNumber = "A10K7QZ1";
    usb.ById = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K7QZ1-if00-port0";
    usb.Location = "1-1.4:1.0";
    usb.ByPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.4:1.0-port0";
    EXPECT_EQ(FormatDeviceList({usb}),
              "COM     DEVICE                    DRIVER            LOCATION       NOTE\n"
              "        /dev/ttyUSB0              ftdi_sio          1-1.4:1.0\n"
              "        USB 0403:6001 FTDI FT232R \"USB\" UART, serial A10K7QZ1\n"
              "        /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K7QZ1-if00-port0\n"
              "        /dev/serial/by-path/pci-0000:00:14.0-usb-0:1.4:1.0-port0\n");
    EXPECT_EQ(FormatDeviceList({}, true), "COM     DEVICE                    DRIVER            LOCATION       NOTE\n")
        << "nothing matched: the header alone";
    EXPECT_EQ(FormatDeviceListJson({}), "[]\n");
    EXPECT_EQ(FormatDeviceListJson({usb}),
              "[\n  {\"path\": \"/dev/ttyUSB0\", \"com\": null, \"driver\": \"ftdi_sio\", \"vid\": \"0403\", "
              "\"pid\": \"6001\", \"manufacturer\": \"FTDI\", \"product\": \"FT232R \\\"USB\\\" UART\", "
              "\"serial_number\": \"A10K7QZ1\", \"by_id\": "
              "\"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K7QZ1-if00-port0\", \"location\": \"1-1.4:1.0\", "
              "\"by_path\": \"/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.4:1.0-port0\", \"note\": null}\n]\n");
}

TEST(ComPortNames, AsWindowsWritesThem) {
    const std::pair<const char*, int> cases[] = {
        {"\\\\.\\COM12", 12}, {"COM3", 3}, {"com253", 253}, {"\\\\.\\com1", 1},
        {"COM0", 0},          {"COM254", 0}, {"COM", 0},     {"/dev/ttyS0", 0}, {"\\\\.\\LPT1", 0},
    };
    for (const auto& [name, number] : cases) EXPECT_EQ(ComPortNumberOf(name), number) << name;
}

}  // namespace
}  // namespace qmx
