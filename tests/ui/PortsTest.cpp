// Choosing a port among the devices present, opening a device path, and the line's health.
#include "UiKit.h"

#include "PosixLine.h"

#include <QHelpEvent>
#include <QLabel>
#include <QStatusBar>

namespace vemor::uitest {
namespace {

using Ports = WindowTest;

const std::string kFtdi = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

std::vector<PresentPort> TwoAdapters() {
    return {{kFtdi, "ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI"},
            {"/dev/ttyACM0", "ttyACM0", "", "", ""}};
}

TEST_F(Ports, DevicesPresentFollowTheComItemsAndOpenAsPathsWithNumberZero) {
    PortChooser& chooser = *Form1->ComboBox1;
    std::vector<PresentPort> present = TwoAdapters();
    chooser.SetSource([&] { return present; });
    chooser.Refresh();
    ASSERT_EQ(chooser.count(), PortChooser::ComItems + 1 + 2); // a separator, then the devices
    EXPECT_EQ(chooser.itemText(15), QStringLiteral("COM16"));
    EXPECT_EQ(chooser.itemText(18).toStdString(),
              kFtdi + "   (FT232R USB UART, FTDI, A50285BI, ttyUSB0)");
    EXPECT_EQ(chooser.itemText(19), QStringLiteral("/dev/ttyACM0"));
    EXPECT_TRUE(
        chooser.itemData(18, Qt::ToolTipRole).toString().contains("Serial number: A50285BI"));
    EXPECT_EQ(chooser.currentText(), QStringLiteral("COM10")); // the choice stays

    struct Case {
        const char* name;
        std::function<void()> choose;
        int number;
        std::string path;
    };
    const Case cases[] = {
        {"a COM item", [&] { chooser.setCurrentIndex(2); }, 3, ""},
        {"the empty item", [&] { chooser.setCurrentIndex(16); }, 17, ""},
        {"a device from the list", [&] { chooser.setCurrentIndex(18); }, 0, kFtdi},
        {"a device's whole line, as the completer leaves it",
         [&] { chooser.setEditText(chooser.itemText(18)); }, 0, kFtdi},
        {"a typed path", [&] { chooser.setEditText("/dev/pts/77"); }, 0, "/dev/pts/77"},
        {"a typed name", [&] { chooser.setEditText("COM3 by hand"); }, 0, ""},
    };
    for (const Case& c : cases) {
        c.choose();
        const PortChooser::Choice got = chooser.Chosen();
        EXPECT_EQ(got.Number, c.number) << c.name;
        EXPECT_EQ(got.Path, c.path) << c.name;
    }

    // A chosen device shows its path alone, with the details as the tooltip; a new list
    // leaves what was chosen or typed alone.
    chooser.setCurrentIndex(18);
    EXPECT_EQ(chooser.currentText().toStdString(), kFtdi);
    EXPECT_TRUE(chooser.toolTip().contains(QStringLiteral("Now /dev/ttyUSB0")));
    present.pop_back();
    chooser.Refresh();
    EXPECT_EQ(chooser.count(), PortChooser::ComItems + 2);
    EXPECT_EQ(chooser.Chosen().Path, kFtdi);
    chooser.setEditText("/dev/pts/77");
    present.clear();
    chooser.Refresh();
    EXPECT_EQ(chooser.count(), PortChooser::ComItems);
    EXPECT_EQ(chooser.currentText(), QStringLiteral("/dev/pts/77"));
}

TEST_F(Ports, TypedDevicePathOpensAndItsNameIsToldWhenTheLineGoes) {
    auto line = std::make_unique<PtyLine>();
    Form1->ComboBox1->setEditText(QString::fromStdString(line->Name()));
    Click(Form1->Button1);
    ASSERT_EQ(Form1->Button1->text(), QStringLiteral("Close"));
    EXPECT_EQ(SerialThread->GetPortNumber(), 0);
    EXPECT_EQ(SerialThread->PortName(), line->Name());
    line->Write(Varied(0).Line());
    EXPECT_TRUE(WaitFor([] { return Form1->LabelRPM->text() != QStringLiteral("LabelRPM"); }));
    const std::string name = line->Name();
    line.reset();
    EXPECT_TRUE(WaitFor([&] {
        return Form1->MessageField->text().startsWith(
            QString::fromStdString(name + ": the line is lost"));
    }));
}

// The chooser's tooltip shows the whole chosen name, however narrow the box, and the device
// it leads to now.
TEST_F(Ports, TheChoosersTooltipNamesTheChoiceAndItsDevice) {
    PtyLine line;
    ports_.Link(10, line.Name());
    const std::string link = (work_ / "a-rather-long-name-for-a-usb-adapter").string();
    std::filesystem::create_symlink(line.Name(), link);
    struct Case {
        QString text;
        QString tip;
    };
    const QString device = QString::fromStdString(line.Name());
    const Case cases[] = {
        {QStringLiteral("COM10"), QStringLiteral("COM10: ") +
                                      QString::fromStdString(ResolvePortDevice(10)) +
                                      QStringLiteral("\nNow ") + device},
        {QString::fromStdString(link),
         QString::fromStdString(link) + QStringLiteral("\nNow ") + device},
        {QStringLiteral("/dev/no-such-adapter"),
         QStringLiteral("/dev/no-such-adapter\nNot present now")},
    };
    for (const Case& c : cases) {
        Form1->ComboBox1->setEditText(c.text);
        if (c.text.startsWith(QLatin1String("COM"))) {
            Form1->ComboBox1->setCurrentIndex(9);
        }
        QHelpEvent hover(QEvent::ToolTip, {4, 4}, Form1->ComboBox1->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(Form1->ComboBox1, &hover);
        EXPECT_EQ(Form1->ComboBox1->toolTip(), c.tip) << c.text.toStdString();
    }
}

TEST_F(Ports, HealthFieldCountsFramesAndRejectsThenSilenceAndEmptiesAtClose) {
    const auto* health = Form1->findChild<vemor::StatusField*>(QStringLiteral("LineHealth"));
    ASSERT_NE(health, nullptr);
    EXPECT_TRUE(health->text().isEmpty());
    PtyLine line;
    OpenPort(line);
    line.Write(Cat({VariedFrames(20), {1, 2, 3, 0xFF, 0x00}})); // and a short frame
    EXPECT_TRUE(WaitFor([&] { return health->text().contains(QStringLiteral(", 1 rejected")); }))
        << health->text().toStdString();
    EXPECT_FALSE(health->text().contains(QStringLiteral("line errors"))) // a pty counts none
        << health->text().toStdString();
    EXPECT_TRUE(
        WaitFor([&] { return health->text().startsWith(QStringLiteral("no data for")); }, 5000))
        << health->text().toStdString();
    Click(Form1->Button1);
    EXPECT_TRUE(health->text().isEmpty());
}

} // namespace
} // namespace vemor::uitest
