// The adapters present, from fake sysfs and /dev trees, and the facts behind a failed open.
#include "PortList.h"
#include "SerialDevice.h"
#include "SerialKit.h"

#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vemor {

void PrintTo(const PresentPort& p, std::ostream* os) {
    *os << p.Path << " [" << p.Kernel << "|" << p.Product << "|" << p.Maker << "|" << p.Serial
        << "]";
}

namespace test {
namespace {

namespace fs = std::filesystem;

// A system root with sysfs, /dev and /dev/serial/by-id laid out as the kernel and udev do.
class FakeRoot {
public:
    std::string Path() const { return root_.Path().string(); }

    // A USB device with its strings (empty: the device gives none) and one tty, placed
    // under the interface as cdc-acm does (ttyACM) or below a port device as usb-serial does.
    void UsbTty(const std::string& kernel, const std::string& usb, const std::string& product,
                const std::string& maker, const std::string& serial) const {
        const fs::path dev = root_ / "sys/devices/pci0000:00/usb1" / usb;
        fs::create_directories(dev);
        Write(dev / "idVendor", "0403");
        for (const auto& [file, text] :
             {std::pair{"product", product}, {"manufacturer", maker}, {"serial", serial}}) {
            if (!text.empty()) {
                Write(dev / file, text);
            }
        }
        const fs::path iface = dev / (usb + ":1.0");
        const bool acm = kernel.rfind("ttyACM", 0) == 0;
        const fs::path portDev = acm ? iface : iface / kernel;
        const fs::path tty = portDev / "tty" / kernel;
        fs::create_directories(tty);
        fs::create_directory_symlink(fs::relative(portDev, tty), tty / "device");
        Class(kernel, tty);
        Node(kernel);
    }
    // A tty class entry that leads to dir, as /sys/class/tty links do.
    void Class(const std::string& kernel, const fs::path& dir) const {
        const fs::path cls = root_ / "sys/class/tty";
        fs::create_directories(cls);
        fs::create_directories(dir);
        fs::create_directory_symlink(fs::relative(dir, cls), cls / kernel);
    }
    // A device node: a character device, as /dev/null stands in for one.
    void Node(const std::string& kernel) const {
        fs::create_directories(root_ / "dev");
        fs::create_symlink("/dev/null", root_ / "dev" / kernel);
    }
    void ById(const std::string& name, const std::string& kernel) const {
        fs::create_directories(root_ / "dev/serial/by-id");
        fs::create_symlink("../../" + kernel, root_ / "dev/serial/by-id" / name);
    }

private:
    static void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << (text.empty() ? "" : "\n");
    }
    vemor::testing::TempDir root_{"vemor-root"};
};

TEST(PresentPorts, StableNamesFirstThenAdaptersWithoutOneInNumberOrder) {
    FakeRoot root;
    EXPECT_TRUE(ListPresentPorts(root.Path()).empty()); // no sysfs, no /dev/serial

    const std::string ftdi = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    root.UsbTty("ttyUSB0", "1-1", "FT232R USB UART", "FTDI", "A50285BI");
    root.ById(ftdi, "ttyUSB0");
    root.UsbTty("ttyACM0", "1-2", "Uno", "Arduino (www.arduino.cc)", "7563");
    root.UsbTty("ttyUSB10", "1-3", "", "", "");
    root.UsbTty("ttyUSB2", "1-4", "CP2102 USB to UART Bridge Controller", "Silicon Labs", "");
    const fs::path platform = fs::path(root.Path()) / "sys/devices/platform/serial8250/tty";
    root.Class("ttyS0", platform / "ttyS0"); // not an adapter
    root.Node("ttyS0");
    root.Class("ttyUSB3", platform / "ttyUSB3"); // sysfs has it, /dev not yet
    root.ById("usb-gone-if00-port0", "ttyUSB7"); // the link of a device that just went
    std::ofstream(fs::path(root.Path()) / "dev/planted") << "x";
    root.ById("usb-planted-if00-port0", "planted"); // leads to no device

    const std::vector<PresentPort> expected = {
        {"/dev/serial/by-id/" + ftdi, "ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI"},
        {"/dev/ttyACM0", "ttyACM0", "Uno", "Arduino (www.arduino.cc)", "7563"},
        {"/dev/ttyUSB2", "ttyUSB2", "CP2102 USB to UART Bridge Controller", "Silicon Labs", ""},
        {"/dev/ttyUSB10", "ttyUSB10", "", "", ""},
    };
    EXPECT_EQ(ListPresentPorts(root.Path()), expected);
}

struct FactCase {
    const char* name;
    const char* target; // what the tried name is: see Make
    mode_t mode;
    OpenStep step;
    int err;
    OpenCause cause;
    bool viaLink;
    bool exists;
    bool groupMayUse = false;
};

void PrintTo(const FactCase& c, std::ostream* os) {
    *os << c.name;
}

class Explain : public ::testing::TestWithParam<FactCase> {};

TEST_P(Explain, NamesWhereTheNameLedAndWhatStandsInTheWay) {
    const FactCase& c = GetParam();
    PortsDir ports;
    const std::string file = (ports.Root() / "device").string();
    std::string path = file;
    std::string device = file;
    const std::string target = c.target;
    if (target == "file" || target == "link") {
        std::ofstream(file) << "x";
        chmod(file.c_str(), c.mode);
    }
    if (target == "link" || target == "dangling") {
        path = (ports.Folder() / "com3").string();
        fs::create_symlink(target == "link" ? file : "ttyUSB9", path);
        device = target == "link" ? file : (ports.Folder() / "ttyUSB9").string();
    }

    const OpenFacts f = SerialDevice::Create()->Explain(path, c.step, c.err);
    EXPECT_EQ(f.Cause, c.cause);
    EXPECT_EQ(f.Link, c.viaLink ? path : "");
    EXPECT_EQ(f.Device, device);
    EXPECT_EQ(f.PortsFolder, ports.Folder().string());
    if (c.cause == OpenCause::NoDevice) {
        EXPECT_EQ(f.Exists, c.exists);
    }
    if (c.cause == OpenCause::Denied) {
        const group* own = getgrgid(getegid());
        ASSERT_NE(own, nullptr);
        EXPECT_EQ(f.Group, own->gr_name); // read from the device itself
        EXPECT_EQ(f.GroupMayUse, c.groupMayUse);
        EXPECT_TRUE(f.InGroup);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Explain,
    ::testing::Values(
        FactCase{"Missing", "none", 0, OpenStep::Open, ENOENT, OpenCause::NoDevice, false, false},
        FactCase{"DanglingLink", "dangling", 0, OpenStep::Open, ENOENT, OpenCause::NoDevice, true,
                 false},
        FactCase{"NoUartBehindTheNode", "link", 0600, OpenStep::Open, EIO, OpenCause::NoDevice,
                 true, true},
        FactCase{"GroupMayUse", "file", 0660, OpenStep::Open, EACCES, OpenCause::Denied, false,
                 true, true},
        FactCase{"GroupMayNot", "link", 0600, OpenStep::Open, EACCES, OpenCause::Denied, true, true,
                 false},
        FactCase{"LockTaken", "file", 0600, OpenStep::Lock, EBUSY, OpenCause::Busy, false, true},
        FactCase{"SettingsRefused", "file", 0600, OpenStep::SetSettings, EINVAL, OpenCause::Other,
                 false, true}),
    [](const auto& param) { return param.param.name; });

} // namespace
} // namespace test
} // namespace vemor
