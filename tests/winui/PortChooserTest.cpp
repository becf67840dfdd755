// The Win32 port chooser: the ports present below the COM items, read at each drop-down, and
// the port that a chosen item or a typed name opens.
#include "WinKit.h"

namespace vemor::wintest {
namespace {

std::string Item(HWND combo, int index) {
    char buf[256] = {};
    SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buf));
    return buf;
}

PresentPort Port(const char* name, const char* friendly = "") {
    return {std::string("\\\\.\\") + name, name, friendly, "", ""};
}

// Drops the list down and up again, as a click on the arrow does.
void DropDown(HWND combo) {
    SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);
    Pump();
}

class ChooserTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Form1->PortList().SetSource([this] {
            ++reads;
            return present;
        });
    }
    std::vector<PresentPort> present;
    int reads = 0;
};

TEST_F(ChooserTest, ListsThePortsPresentBelowTheComItemsAfreshAtEachDropDown) {
    const HWND combo = Form1->ComboBox1;
    present = {Port("COM3", "USB Serial Port"), Port("COM23")};
    DropDown(combo);
    EXPECT_EQ(reads, 1);
    ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 19);
    EXPECT_EQ(Item(combo, 15), "COM16");
    EXPECT_EQ(Item(combo, 16), "");
    EXPECT_EQ(Item(combo, 17), "COM3 - USB Serial Port");
    EXPECT_EQ(Item(combo, 18), "COM23");
    EXPECT_EQ(Form1->SelectedPortIndex(), 9) << "COM10 stays chosen";

    // A text typed meanwhile stays as it is when the list changes.
    SetWindowTextA(combo, "com7 ");
    present = {Port("COM23")};
    DropDown(combo);
    EXPECT_EQ(reads, 2);
    ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 18);
    EXPECT_EQ(Item(combo, 17), "COM23");
    EXPECT_EQ(Text(combo), "com7 ");

    // A listed port chosen stays chosen; once it is gone, its name stays in the field.
    SendMessageA(combo, CB_SETCURSEL, 17, 0);
    present = {Port("COM4"), Port("COM23")};
    DropDown(combo);
    EXPECT_EQ(Form1->SelectedPortIndex(), 18);
    present = {Port("COM4")};
    DropDown(combo);
    EXPECT_EQ(Text(combo), "COM23");
    EXPECT_EQ(Form1->PortList().Chosen().Path, "\\\\.\\COM23");

    // Chosen from the list, a port shows its name alone in the narrow field.
    present = {Port("COM4", "USB Serial Device")};
    DropDown(combo);
    SendMessageA(combo, CB_SETCURSEL, 17, 0);
    SendMessageA(Form1->Handle, WM_COMMAND, MAKEWPARAM(IdComboBox1, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    EXPECT_TRUE(PumpUntil([&] { return Text(combo) == "COM4"; }));
    EXPECT_EQ(Form1->PortList().Chosen().Path, "\\\\.\\COM4");
}

TEST_F(ChooserTest, AnItemOpensItsPortATypedNameTheDeviceItNames) {
    const HWND combo = Form1->ComboBox1;
    present = {Port("COM23", "USB Serial Port")};
    DropDown(combo);
    struct Case {
        int index; // -1: typed
        const char* typed;
        int number;
        const char* path;
    };
    const Case cases[] = {
        {15, "", 16, ""},
        {16, "", 17, ""},
        {17, "", 0, "\\\\.\\COM23"},
        {-1, "COM23 - USB Serial Port", 0, "\\\\.\\COM23"},
        {-1, "COM10", 0, "\\\\.\\COM10"},
        {-1, " com10 ", 0, "\\\\.\\COM10"},
        {-1, "\\\\.\\COM200", 0, "\\\\.\\COM200"},
        {-1, "COM256", 0, ""},
        {-1, "COMX", 0, ""},
        {-1, "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index >= 0 ? Item(combo, c.index) : std::string("typed: ") + c.typed);
        SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(c.index), 0);
        if (c.index < 0) {
            SetWindowTextA(combo, c.typed);
        }
        const PortChoice choice = Form1->PortList().Chosen();
        EXPECT_EQ(choice.Number, c.number);
        EXPECT_EQ(choice.Path, c.path);
    }
}

TEST_F(ChooserTest, AListedPortThatIsGoneIsSaidNotPresent) {
    present = {Port("COM199", "USB Serial Port")};
    DropDown(Form1->ComboBox1);
    SendMessageA(Form1->ComboBox1, CB_SETCURSEL, 17, 0);
    Click(Form1->Button1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].FirstLine(), SystemErrorText(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(boxes.shown[0].text.find("\nCOM199 -> \\\\.\\COM199\n\nCOM199 is not present: plug "
                                       "the adapter in, or pick one of the ports listed"),
              std::string::npos)
        << boxes.shown[0].text;
    EXPECT_EQ(Text(Form1->Button1), "Open");
}

#ifdef VEMOR_SIM_EXE
TEST_F(ChooserTest, ATypedComNameOpensThatPort) {
    if (!test::SimPeer::Available()) {
        GTEST_SKIP() << "needs Wine, with vemor-sim built for Linux";
    }
    test::SimPeer sim({"--hold"});
    SetWindowTextA(Form1->ComboBox1, "com10");
    Click(Form1->Button1);
    ASSERT_NE(SerialThread, nullptr) << (boxes.shown.empty() ? "" : boxes.shown[0].text);
    EXPECT_EQ(SerialThread->PortName(), "COM10");
    EXPECT_EQ(SerialThread->GetPortNumber(), 0);
    EXPECT_TRUE(sim.WaitLine("held: ")) << sim.Output();
    EXPECT_EQ(Text(Form1->Button1), "Close");
    Click(Form1->Button1);
    EXPECT_EQ(SerialThread, nullptr);
}
#endif

} // namespace
} // namespace vemor::wintest
