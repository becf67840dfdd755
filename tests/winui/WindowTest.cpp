// The Win32 window: its layout, the operator's commands without a port, the receive path on
// real window messages, captures, and what the chart draws.
#include "ConsoleEnd.h"
#include "WinKit.h"

#include "vemor/Capture.h"
#include "vemor/Messages.h"
#include "vemor/Values.h"

#include <commctrl.h>

#include <atomic>
#include <regex>
#include <thread>

namespace vemor::wintest {
namespace {

RECT Placement(HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string MenuText(HMENU menu, UINT position) {
    char buf[64];
    const int n = GetMenuStringA(menu, position, buf, sizeof buf, MF_BYPOSITION);
    return std::string(buf, static_cast<std::size_t>(n));
}

TEST_F(WindowTest, StartsAsLaidOut) {
    RECT client;
    GetClientRect(Form1->Handle, &client);
    EXPECT_EQ(client.right, 921);
    EXPECT_EQ(client.bottom, 580);
    EXPECT_EQ(Text(Form1->Handle), "Vemor");
    EXPECT_EQ(GetFocus(), Form1->Button1) << "Space at start would not open the port";

    struct Design {
        HWND window;
        HWND parent;
        RECT place; // right and bottom 0: only the position is fixed (labels size to text)
        std::string text;
        bool visible, enabled;
    };
    const Design designs[] = {
        {Form1->Panel1, Form1->Handle, {0, 0, 921, 105}, "", true, true},
        {Form1->StatusBar1, Form1->Handle, {0, 561, 921, 580}, "", true, true},
        {Form1->PageControl1, Form1->Handle, {0, 105, 921, 561}, "", true, true},
        {Form1->Button1, Form1->Panel1, {16, 8, 91, 33}, "Open", true, true},
        {Form1->ComboBox1, Form1->Panel1, {98, 9, 192, 0}, "COM10", true, true},
        {Form1->Button2, Form1->Panel1, {208, 8, 283, 33}, "Save File", true, false},
        {Form1->Button3, Form1->Panel1, {16, 56, 91, 81}, "Test", false, false},
        {Form1->LabelRPM, Form1->Panel1, {320, 53, 0, 0}, "LabelRPM", true, true},
        {Form1->LabelBatt, Form1->Panel1, {320, 9, 0, 0}, "LabelBatt", true, true},
        {Form1->LabelECT, Form1->Panel1, {495, 3, 0, 0}, "LabelECT", true, true},
        {Form1->LabelMAT, Form1->Panel1, {496, 53, 0, 0}, "LabelMAT", true, true},
        {Form1->LabelPW, Form1->Panel1, {728, 0, 0, 0}, "LabelPW", true, true},
    };
    for (const Design& d : designs) {
        SCOPED_TRACE(d.text.empty() ? "container" : d.text);
        EXPECT_EQ(GetParent(d.window), d.parent);
        const RECT r = Placement(d.window);
        EXPECT_EQ(r.left, d.place.left);
        EXPECT_EQ(r.top, d.place.top);
        if (d.place.right != 0) {
            EXPECT_EQ(r.right, d.place.right);
        }
        if (d.place.bottom != 0) {
            EXPECT_EQ(r.bottom, d.place.bottom);
        }
        EXPECT_EQ(Text(d.window), d.text);
        EXPECT_EQ(IsWindowVisible(d.window) != FALSE, d.visible);
        EXPECT_EQ(IsWindowEnabled(d.window) != FALSE, d.enabled);
    }

    // The chooser: COM1 ... COM16 and an empty item, COM10 chosen.
    ASSERT_EQ(SendMessageA(Form1->ComboBox1, CB_GETCOUNT, 0, 0), 17);
    char item[16];
    SendMessageA(Form1->ComboBox1, CB_GETLBTEXT, 15, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, "COM16");
    EXPECT_EQ(SendMessageA(Form1->ComboBox1, CB_GETLBTEXTLEN, 16, 0), 0);
    EXPECT_EQ(Form1->SelectedPortIndex(), 9);

    // The Terminal page in front, the chart above the 20-pixel memo.
    EXPECT_EQ(SendMessageA(Form1->PageControl1, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_TRUE(IsWindowVisible(Form1->Terminal));
    EXPECT_FALSE(IsWindowVisible(Form1->Vemor));
    const RECT memo = Placement(Form1->Memo1);
    const RECT chart = Placement(Form1->Chart1->Handle());
    EXPECT_EQ(memo.bottom - memo.top, 20);
    EXPECT_EQ(chart.bottom, memo.top);

    EXPECT_EQ(MenuText(Form1->MainMenu1, 0), "&File");
    EXPECT_EQ(MenuText(Form1->MainMenu1, 1), "&Tool");
    EXPECT_EQ(MenuText(Form1->Tool1, 0), "Terminal");

    // Tab order: Open, the chooser, Save File (enabled for the walk), then the pages.
    EnableWindow(Form1->Button2, TRUE);
    std::vector<HWND> order;
    HWND at = Form1->Button1;
    for (int i = 0; i < 3; ++i) {
        at = GetNextDlgTabItem(Form1->Handle, at, FALSE);
        order.push_back(at);
    }
    EXPECT_TRUE(order[0] == Form1->ComboBox1 || GetParent(order[0]) == Form1->ComboBox1);
    EXPECT_EQ(order[1], Form1->Button2);
    EXPECT_NE(order[2], Form1->Button3) << "the hidden Test button takes no focus";
}

TEST_F(WindowTest, ResizingKeepsTheStripAndStatusBarAndGrowsTheChart) {
    const RECT before = Placement(Form1->Chart1->Handle());
    RECT frame;
    GetWindowRect(Form1->Handle, &frame);
    SetWindowPos(Form1->Handle, nullptr, 0, 0, frame.right - frame.left + 60,
                 frame.bottom - frame.top + 40, SWP_NOZORDER);
    Pump();
    RECT client;
    GetClientRect(Form1->Handle, &client);
    ASSERT_GT(client.right, 921);
    ASSERT_GT(client.bottom, 580);
    EXPECT_EQ(Placement(Form1->Panel1).bottom, 105);
    EXPECT_EQ(Placement(Form1->Panel1).right, client.right);
    EXPECT_EQ(Placement(Form1->StatusBar1).top, client.bottom - 19);
    const RECT after = Placement(Form1->Chart1->Handle());
    EXPECT_EQ(after.right - after.left, before.right - before.left + client.right - 921);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top + client.bottom - 580);
    const RECT memo = Placement(Form1->Memo1);
    EXPECT_EQ(memo.bottom - memo.top, 20);
    // Made as small as 640 x 400, the window keeps the whole control strip in view.
    SetWindowPos(Form1->Handle, nullptr, 0, 0, 640, 400, SWP_NOZORDER);
    Pump();
    GetClientRect(Form1->Handle, &client);
    EXPECT_EQ(client.right, 810);
    EXPECT_GE(client.right, Placement(Form1->LabelPW).right);
}

TEST_F(WindowTest, OnAScreenOfAnotherScaleTheLayoutIsTheDesignScaled) {
    RECT frame;
    GetWindowRect(Form1->Handle, &frame);
    RECT suggested{frame.left, frame.top, frame.left + 1400, frame.top + 920};
    SendMessageA(Form1->Handle, WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    Pump();
    struct Scaled {
        HWND window;
        RECT at;    // the design times 1.5, each size rounded
        bool sized; // a label takes the size of its widest text in the new font instead
    };
    for (const Scaled& s : {Scaled{Form1->Button1, {24, 12, 137, 50}, true},
                            Scaled{Form1->Button2, {312, 12, 425, 50}, true},
                            Scaled{Form1->LabelPW, {1092, 0, 1200, 30}, false}}) {
        SCOPED_TRACE(Text(s.window));
        const RECT r = Placement(s.window);
        EXPECT_EQ(r.left, s.at.left);
        EXPECT_EQ(r.top, s.at.top);
        if (s.sized) {
            EXPECT_EQ(r.right, s.at.right);
            EXPECT_EQ(r.bottom, s.at.bottom);
        } else {
            // refitted in the new font, larger than the design size's texts at 96 dpi
            EXPECT_GT(r.bottom - r.top, 24);
            EXPECT_GT(r.right - r.left, 100);
        }
    }
    EXPECT_EQ(Placement(Form1->Panel1).bottom, 158); // 105 * 1.5
    TEXTMETRICA metrics{};
    HDC dc = GetDC(Form1->Button1);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(Form1->Button1, WM_GETFONT, 0, 0)));
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(Form1->Button1, dc);
    EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 17); // 11 * 1.5, rounded
}

// Clicks that reached Open while its box shows would stack a box per click, each a new
// attempt; a disabled window takes no input.
TEST_F(WindowTest, TheGetLastErrorBoxKeepsTheWindowFromTakingCommands) {
    Form1->LinkBox = nullptr; // the real box
    SendMessageA(Form1->ComboBox1, CB_SETCURSEL, 15, 0);
    static BOOL enabledMeanwhile;
    static int shown;
    enabledMeanwhile = TRUE;
    shown = 0;
    // Runs inside the box's own loop.
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND box = FindWindowA("#32770", "GetLastError");
        if (box == nullptr) {
            return;
        }
        ++shown;
        enabledMeanwhile = IsWindowEnabled(Form1->Handle);
        PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    });
    Click(Form1->Button1);
    KillTimer(nullptr, timer);
    EXPECT_FALSE(enabledMeanwhile);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(SerialThread, nullptr);
}

TEST_F(WindowTest, FailedOpenShowsTheSystemTextAndLeavesThePortClosed) {
    struct Case {
        const char* what;
        int index; // -1: a text typed by hand
    };
    for (const Case c : {Case{"COM16", 15}, Case{"empty item", 16}, Case{"typed text", -1}}) {
        SCOPED_TRACE(c.what);
        boxes.shown.clear();
        if (c.index >= 0) {
            SendMessageA(Form1->ComboBox1, CB_SETCURSEL, c.index, 0);
        } else {
            SetWindowTextA(Form1->ComboBox1, "COM3x");
        }
        Click(Form1->Button1);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].caption, "GetLastError");
        EXPECT_EQ(boxes.shown[0].FirstLine(), SystemErrorText(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(Text(Form1->Button1), "Open");
        EXPECT_FALSE(IsWindowEnabled(Form1->Button2));
        EXPECT_EQ(SerialThread, nullptr);
    }
}

// Enter on the focused button presses it, as a click does; elsewhere it presses nothing.
TEST_F(WindowTest, EnterPressesTheFocusedButton) {
    SendMessageA(Form1->ComboBox1, CB_SETCURSEL, 15, 0); // COM16: no device, a box
    for (const HWND target : {Form1->Button1, Form1->ComboBox1}) {
        boxes.shown.clear();
        MSG enter{target, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
        const bool taken = Form1->TranslateKeys(&enter);
        EXPECT_EQ(taken, target == Form1->Button1);
        EXPECT_EQ(boxes.shown.size(), target == Form1->Button1 ? 1u : 0u);
    }
}

TEST_F(WindowTest, ReceivedBytesAreCapturedWholeThenShown) {
    SerialThread = QueueOnly();
    EnableWindow(Form1->Button2, TRUE);
    Click(Form1->Button2);
    ASSERT_NE(Form1->CaptureStream, nullptr) << (errors.empty() ? "" : errors[0].text);
    const std::string name = Form1->CaptureStream->Name();
    EXPECT_EQ(name, "TMP1.$$$");

    // A broken frame, then 200 good ones; a frame split across two messages on the way.
    const Bytes bytes = vemor::testing::Cat({{0x10, 0x20, 0xFF, 0x00}, CountingFrames(200)});
    Receive(bytes);
    Form1->Display().ShowLabels();

    const FrameTexts texts =
        LabelTexts(Payload::Counting(199).data(), Form1->DecimalSeparator()); // the last frame
    EXPECT_EQ(Text(Form1->LabelRPM), texts.Rpm);
    EXPECT_EQ(Text(Form1->LabelBatt), texts.Batt);
    EXPECT_EQ(Text(Form1->LabelECT), texts.Ect);
    EXPECT_EQ(Text(Form1->LabelMAT), texts.Mat);
    EXPECT_EQ(Text(Form1->LabelPW), texts.Pw);
    EXPECT_EQ(Form1->Chart1->History(0).Count(), 200);
    EXPECT_EQ(Form1->Chart1->Bottom().Min, 49);
    EXPECT_EQ(Form1->Chart1->Bottom().Max, 199);

    // Closing the window finishes the capture: header, then every byte as it came.
    delete Form1;
    Form1 = nullptr;
    const Bytes file = ReadBytes(dir_ / name);
    ASSERT_EQ(file.size(), 16 + bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), file.begin() + 16));
    EXPECT_NE(file[8], 0) << "no stop time";
}

TEST_F(WindowTest, CaptureThatCannotBeCreatedIsShownAndTheWindowGoesOn) {
    // A folder where nothing can be created, root or not: under Wine, Linux's /proc.
    const fs::path locked = "Z:\\proc";
    if (!fs::is_directory(locked)) {
        GTEST_SKIP() << "no folder that refuses new files";
    }
    SerialThread = QueueOnly();
    EnableWindow(Form1->Button2, TRUE);
    fs::current_path(locked);
    Click(Form1->Button2);
    fs::current_path(dir_);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].title, "winui_tests") << "the program's title";
    EXPECT_EQ(errors[0].text.rfind("Cannot create file \"", 0), 0u) << errors[0].text;
    EXPECT_NE(errors[0].text.find("TMP1.$$$\". "), std::string::npos) << errors[0].text;
    EXPECT_EQ(errors[0].text.back(), '.');
    EXPECT_EQ(Form1->CaptureStream, nullptr);
    Click(Form1->Button2); // the next try, here, takes the next name
    ASSERT_NE(Form1->CaptureStream, nullptr);
    EXPECT_EQ(Form1->CaptureStream->Name(), "TMP2.$$$");
    EXPECT_TRUE(ReadBytes(dir_ / "TMP2.$$$").empty()) << "open to others while capturing";
    delete Form1;
    Form1 = nullptr;
    EXPECT_EQ(ReadBytes(dir_ / "TMP2.$$$").size(), 16u);
}

TEST_F(WindowTest, ChartDrawsEachTraceInItsColourAtItsValue) {
    SerialThread = QueueOnly();
    // Every series on a level line of its own: MAP 40, RPM 256 - 56, PW 100, O2 140, TPS 180,
    // byte 14 at 20.
    using namespace byte_pos;
    Receive(Payload()
                .Set({{Map, 40}, {Rpm, 56}, {PulseWidth, 100}, {O2, 140}, {Tps, 180}, {Byte14, 20}})
                .Line(160));
    const COLORREF expected[6] = {RGB(255, 255, 255), RGB(255, 255, 0), RGB(255, 0, 0),
                                  RGB(0, 255, 0),     RGB(0, 0, 255),   RGB(0, 128, 0)};
    const double levels[6] = {40, 200, 100, 140, 180, 20};
    StripChart& chart = *Form1->Chart1;
    HDC picture = chart.Render();
    const RECT plot = chart.PlotArea();
    for (int s = 0; s < 6; ++s) {
        SCOPED_TRACE(s);
        EXPECT_EQ(chart.Series(s).Colour, expected[s]);
        const POINT p = chart.ToPixel((chart.Bottom().Min + chart.Bottom().Max) / 2, levels[s]);
        ASSERT_GT(p.y, plot.top);
        ASSERT_LT(p.y, plot.bottom);
        bool found = false;
        for (int dy = -1; dy <= 1 && !found; ++dy) {
            found = GetPixel(picture, p.x, p.y + dy) == expected[s];
        }
        EXPECT_TRUE(found) << "no trace at its level";
    }
    EXPECT_EQ(GetPixel(picture, (plot.left + plot.right) / 2, chart.ToPixel(0, 240).y),
              RGB(0, 0, 0))
        << "something drawn where no trace runs";
}

TEST_F(WindowTest, ZoomLastsUntilTheNextFrameAndDoubleClickGivesTheViewBack) {
    SerialThread = QueueOnly();
    Receive(CountingFrames(300));
    StripChart& chart = *Form1->Chart1;
    chart.Render();
    const RECT plot = chart.PlotArea();
    const HWND w = chart.Handle();
    const LPARAM from = MAKELPARAM(plot.left + 100, plot.top + 50);
    const LPARAM to = MAKELPARAM(plot.left + 300, plot.top + 200);
    SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, from);
    SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, to);
    SendMessageA(w, WM_LBUTTONUP, 0, to);
    EXPECT_TRUE(Form1->Display().BottomAxisAutomatic());
    EXPECT_GT(chart.Bottom().Min, 149);
    EXPECT_LT(chart.Bottom().Max, 299);
    EXPECT_LT(chart.Left().Max, 260);

    Receive(CountingFrames(1));
    EXPECT_FALSE(Form1->Display().BottomAxisAutomatic());
    EXPECT_EQ(chart.Bottom().Min, 150);
    EXPECT_EQ(chart.Bottom().Max, 300);
    SendMessageA(w, WM_LBUTTONDBLCLK, MK_LBUTTON, from);
    EXPECT_EQ(chart.Left().Min, -22);
    EXPECT_EQ(chart.Left().Max, 260);
}

TEST_F(WindowTest, TheWheelOverTheChartZoomsItsTimeAxisAboutThePointer) {
    SerialThread = QueueOnly();
    Receive(CountingFrames(300));
    StripChart& chart = *Form1->Chart1;
    chart.Render();
    const RECT plot = chart.PlotArea();
    POINT middle{(plot.left + plot.right) / 2, (plot.top + plot.bottom) / 2};
    ClientToScreen(chart.Handle(), &middle);
    const ChartRange before = chart.Bottom();
    // Sent to the window, as a wheel reaches the top window of the focused control.
    SendMessageA(Form1->Handle, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA),
                 MAKELPARAM(middle.x, middle.y));
    const ChartRange after = chart.Bottom();
    EXPECT_NEAR(after.Max - after.Min, (before.Max - before.Min) * WheelZoom, 1e-6);
    EXPECT_NEAR((after.Min + after.Max) / 2, (before.Min + before.Max) / 2, 1.0);
    EXPECT_TRUE(Form1->Display().BottomAxisAutomatic());
}

TEST_F(WindowTest, StopCaptureInTheFileMenuFinishesTheCaptureItsFieldShows) {
    SerialThread = QueueOnly();
    EnableWindow(Form1->Button2, TRUE);
    const auto grayed = [] {
        return (GetMenuState(Form1->File1, Form1->StopCapture1, MF_BYCOMMAND) & MF_GRAYED) != 0;
    };
    EXPECT_TRUE(grayed());
    Click(Form1->Button2);
    ASSERT_NE(Form1->CaptureStream, nullptr);
    EXPECT_FALSE(grayed());
    EXPECT_EQ(Form1->CaptureFieldText().rfind("Capturing to TMP1.$$$ - 0 B, 00:0", 0), 0u)
        << Form1->CaptureFieldText();
    Form1->Notify()->Post(WM_LINELOST, 5, 10); // a passing message leaves the field as it is
    Pump();
    EXPECT_NE(Form1->StatusText().find("line is lost"), std::string::npos);
    // Each text has a part of its own: the message keeps at least a third of the bar and none
    // runs under another.
    {
        RECT bar{};
        GetClientRect(Form1->StatusBar1, &bar);
        int right[3] = {};
        ASSERT_EQ(SendMessageA(Form1->StatusBar1, SB_GETPARTS, 3, reinterpret_cast<LPARAM>(right)),
                  3);
        EXPECT_GE(right[0], (bar.right - GetSystemMetrics(SM_CXVSCROLL)) / 3);
        EXPECT_LT(right[0], right[1]);
        EXPECT_EQ(right[2], -1);
    }
    EXPECT_FALSE(Form1->CaptureFieldText().empty());
    SendMessageA(Form1->Handle, WM_COMMAND, MAKEWPARAM(IdStopCapture1, 0), 0);
    EXPECT_EQ(Form1->CaptureStream, nullptr);
    EXPECT_TRUE(grayed());
    EXPECT_EQ(Form1->CaptureFieldText(), "");
    EXPECT_EQ(ReadBytes(dir_ / "TMP1.$$$").size(), 16u);
}

TEST_F(WindowTest, F2MarksTheRunningCaptureAndTheNoteBoxLetsTheCaptureGoOn) {
    SerialThread = QueueOnly();
    EnableWindow(Form1->Button2, TRUE);
    Click(Form1->Button2);
    Receive(CountingFrames(5));
    MSG key{Form1->Handle, WM_KEYDOWN, VK_F2, 0, 0, {}};
    EXPECT_TRUE(Form1->TranslateKeys(&key));
    EXPECT_EQ(Form1->StatusText().rfind("Mark 1 at ", 0), 0u) << Form1->StatusText();
    EXPECT_EQ(Form1->StatusText().find("not recorded"), std::string::npos);

    // Inside the note box's loop: frames arrive and are drained, then the note is typed.
    static int ticks;
    static std::uint64_t drainedMeanwhile;
    ticks = 0;
    drainedMeanwhile = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND box = FindWindowA("#32770", "Mark with Note");
        if (box == nullptr) {
            return;
        }
        if (++ticks == 1) {
            const Bytes frames = CountingFrames(1);
            SerialThread->AppendChunk(frames.data(), static_cast<std::uint32_t>(frames.size()));
            Form1->Notify()->Post(WM_RXDATA, frames.size(), SerialThread->GetQueuedBytes());
            return;
        }
        drainedMeanwhile = Form1->CaptureStream->BodyBytes();
        SetWindowTextA(FindWindowExA(box, nullptr, "Edit", nullptr), "brake\ttest");
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(Form1->Handle, WM_COMMAND, MAKEWPARAM(IdMarkWithNote1, 0), 0);
    KillTimer(nullptr, timer);
    EXPECT_EQ(drainedMeanwhile, 6u * 33);
    EXPECT_EQ(Form1->StatusText().rfind("Mark 2 at ", 0), 0u) << Form1->StatusText();
    SendMessageA(Form1->Handle, WM_COMMAND, MAKEWPARAM(IdStopCapture1, 0), 0);
    const std::string journal = testing::ReadText(dir_ / "TMP1.$$$.txt");
    EXPECT_NE(journal.find("\tmark\t1\n"), std::string::npos) << journal;
    EXPECT_TRUE(std::regex_search(journal, std::regex("\n165\t[^\n]*\tmark\t2: brake\\\\ttest\n")))
        << "at the key's offset, not the note's: " << journal;
    char item[64] = {};
    GetMenuStringA(Form1->File1, Form1->MarkWithNote1, item, sizeof item, MF_BYCOMMAND);
    EXPECT_STREQ(item, "Mark with Note...\tShift+F2");
}

// The choice offers the spans with 5 minutes as Enter's; Cancel saves nothing.
TEST_F(WindowTest, SaveLastMinutesAsksForTheSpanAndSavesItWithoutACapture) {
    SerialThread = QueueOnly();
    const Bytes frames = CountingFrames(5);
    Receive(frames);
    static std::string offered;
    static bool cancel;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND box = FindWindowA("#32770", "Save Last Minutes");
        if (box == nullptr) {
            return;
        }
        const WORD id = LOWORD(SendMessageA(box, DM_GETDEFID, 0, 0));
        char text[32] = {};
        GetDlgItemTextA(box, id, text, sizeof text);
        offered = text;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(cancel ? IDCANCEL : id, BN_CLICKED), 0);
    });
    for (const bool c : {true, false}) {
        cancel = c;
        offered.clear();
        SendMessageA(Form1->Handle, WM_COMMAND, MAKEWPARAM(IdSaveLastMinutes1, 0), 0);
        EXPECT_EQ(offered, "5 minutes");
        EXPECT_EQ(fs::exists(dir_ / "TMP1.$$$"), !c);
    }
    KillTimer(nullptr, timer);
    const std::string status = Form1->StatusText();
    EXPECT_EQ(status.rfind("Saved the last 5 minutes as ", 0), 0u) << status;
    EXPECT_NE(status.find("TMP1.$$$, 165 B"), std::string::npos) << status;
    const Bytes file = ReadBytes(dir_ / "TMP1.$$$");
    EXPECT_EQ(Bytes(file.begin() + 16, file.end()), frames);
}

TEST_F(WindowTest, LogOffOrShutdownFinishesTheCaptureFirst) {
    SerialThread = QueueOnly();
    EnableWindow(Form1->Button2, TRUE);
    Click(Form1->Button2);
    ASSERT_NE(Form1->CaptureStream, nullptr);
    EXPECT_TRUE(SendMessageA(Form1->Handle, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    SendMessageA(Form1->Handle, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(Form1->CaptureStream, nullptr);
    EXPECT_EQ(SerialThread, nullptr);
    const Bytes file = ReadBytes(dir_ / "TMP1.$$$");
    ASSERT_EQ(file.size(), 16u);
    EXPECT_NE(file[8], 0) << "no stop time";
}

TEST_F(WindowTest, AConsoleClosedFinishesTheCaptureBeforeTheHandlerReturns) {
    SerialThread = QueueOnly();
    EnableWindow(Form1->Button2, TRUE);
    Click(Form1->Button2);
    ASSERT_NE(Form1->CaptureStream, nullptr);
    FinishWithConsole(Form1->Handle);
    // The system's own thread calls the handler; this one goes on pumping as the window's.
    std::atomic<bool> returned{false};
    std::thread system([&] {
        OnConsoleEnd(CTRL_CLOSE_EVENT);
        returned = true;
    });
    MSG m;
    while (!returned) {
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&m);
        }
        Sleep(1);
    }
    system.join();
    EXPECT_EQ(Form1->CaptureStream, nullptr);
    const Bytes file = ReadBytes(dir_ / "TMP1.$$$");
    ASSERT_EQ(file.size(), 16u);
    EXPECT_NE(file[8], 0) << "no stop time";
}

TEST_F(WindowTest, MemoDoubleClickEmptiesIt) {
    SetWindowTextA(Form1->Memo1, "line one\r\nline two");
    SendMessageA(Form1->Memo1, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(Text(Form1->Memo1), "");
}

} // namespace
} // namespace vemor::wintest
