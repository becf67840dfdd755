#include "SerialKit.h"

#include <termios.h>

namespace vemor::test {
namespace {

TEST(DeviceName, UsesOneFormForEveryNumber) {
    const std::pair<int, const char*> cases[] = {
        {1, "\\\\.\\com1"}, {10, "\\\\.\\com10"}, {16, "\\\\.\\com16"}};
    for (const auto& [n, text] : cases) {
        EXPECT_EQ(DeviceName(n), text);
    }
    EXPECT_EQ(DeviceName(10).size(), 9u); // two backslashes, dot, backslash, com, 10
}

TEST(PortsFolder, FollowsXdgConfigHomeOrHome) {
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    const std::pair<const char*, std::string> cases[] = {
        {"/x/cfg", "/x/cfg/vemor/ports"},
        {"", home + "/.config/vemor/ports"},
        {"relative/cfg", home + "/.config/vemor/ports"}, // relative values are ignored
        {nullptr, home + "/.config/vemor/ports"},
    };
    for (const auto& [xdg, folder] : cases) {
        if (xdg != nullptr) {
            setenv("XDG_CONFIG_HOME", xdg, 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        EXPECT_EQ(PortsFolder(), folder) << (xdg ? xdg : "(unset)");
    }
    unsetenv("XDG_CONFIG_HOME");
}

TEST(ResolvePortDevice, LinkWinsOverTheSerialDevice) {
    PortsDir ports;
    ports.Link(10, "/dev/does-not-exist"); // a dangling link still names the port
    EXPECT_EQ(ResolvePortDevice(10), (ports.Folder() / "com10").string());
    EXPECT_EQ(ResolvePortDevice(1), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortDevice(16), "/dev/ttyS15");
    EXPECT_EQ(ResolvePortDevice(0), "");
    EXPECT_EQ(ResolvePortDevice(-3), "");
}

// A cooked line as a terminal would leave it.
LineTermios CookedLine(bool hardwareFlow) {
    LineTermios t{};
    t.c_iflag = ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | IXANY | BRKINT | INPCK | IGNPAR;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN | ECHOCTL;
    t.c_cflag = B9600 | CS7 | PARENB | PARODD | CSTOPB | HUPCL | (hardwareFlow ? CRTSCTS : 0);
    t.c_line = 0;
    t.c_cc[VINTR] = 3;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    t.c_ispeed = t.c_ospeed = 9600;
    return t;
}

TEST(WorkingTermios, RawEightNoneOneAtTheExactRate) {
    for (const bool flow : {false, true}) {
        SCOPED_TRACE(flow ? "CRTSCTS on" : "CRTSCTS off");
        const LineTermios t = MakeWorkingTermios(CookedLine(flow), 62500, 64);
        EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | IXANY | BRKINT), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<std::uint32_t>(CS8));
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CSTOPB), 0u);
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<std::uint32_t>(CREAD | CLOCAL));
        EXPECT_EQ(t.c_cflag & CBAUD, LineBother);
        EXPECT_EQ(t.c_ispeed, 62500u);
        EXPECT_EQ(t.c_ospeed, 62500u);
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, flow);
        EXPECT_EQ(t.c_cflag & HUPCL, static_cast<std::uint32_t>(HUPCL)); // untouched
        EXPECT_EQ(t.c_iflag & IGNPAR, static_cast<std::uint32_t>(IGNPAR));
        EXPECT_EQ(t.c_cc[VINTR], 3);
        EXPECT_EQ(t.c_cc[VMIN], 64); // readable once a full read is there
        EXPECT_EQ(t.c_cc[VTIME], 0);
    }
}

} // namespace
} // namespace vemor::test
