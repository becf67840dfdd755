#pragma once
// The main window on Win32: control strip, value labels, tab pages with the chart and the
// memo, status bar, menu, and the operator's commands. GUI thread only.

#include "Chart.h"
#include "FormDisplay.h"
#include "PortChooser.h"
#include "vemor/SessionForm.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Control and menu item identifiers.
enum : int {
    IdButton1 = 101,
    IdButton2,
    IdButton3,
    IdComboBox1,
    IdMemo1,
    IdChart1,
    IdPageControl1,
    IdStatusBar1,
    IdFile1 = 201,
    IdTerminal1,
    IdStopCapture1,
    IdOpenCapture1,
    IdMark1,
    IdMarkWithNote1,
    IdSaveLastMinutes1,
};

// The Win32 window: lays out the controls and paints what its session says; the session
// does the work of every command.
class TForm1 : private vemor::SessionWindow, public vemor::SessionForm<HWND> {
public:
    // Creates the window from the layout, hidden; Show() shows it.
    explicit TForm1(HINSTANCE instance);
    // Destroys the window if it is still there; FormDestroy runs before the components go.
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    void Show(int how);

    // The window and its components, owned by the window.
    HWND Handle = nullptr;
    HMENU MainMenu1 = nullptr;
    HWND StatusBar1 = nullptr; // parts: passing messages, the capture, the line's health
    HWND Panel1 = nullptr;
    HWND PageControl1 = nullptr;
    HWND Vemor = nullptr;
    HWND Terminal = nullptr;
    HWND Button1 = nullptr;
    HWND ComboBox1 = nullptr;
    HMENU File1 = nullptr;
    HMENU Tool1 = nullptr;
    UINT Terminal1 = IdTerminal1;
    UINT OpenCapture1 = IdOpenCapture1;         // in File1: a capture in a viewer of its own
    UINT StopCapture1 = IdStopCapture1;         // in File1; enabled while a capture runs
    UINT SaveLastMinutes1 = IdSaveLastMinutes1; // in File1; the last minutes, as a capture
    UINT Mark1 = IdMark1;                       // in File1, F2: a mark at the newest received byte
    UINT MarkWithNote1 = IdMarkWithNote1;       // in File1, Shift+F2: the same with a note
    HWND Memo1 = nullptr;
    HWND Button2 = nullptr;
    HWND Button3 = nullptr;
    vemor::StripChart* Chart1 = nullptr; // Series1..Series6 are its series 0..5; the display's
    HWND LabelRPM = nullptr;
    HWND LabelBatt = nullptr;
    HWND LabelECT = nullptr;
    HWND LabelMAT = nullptr;
    HWND LabelPW = nullptr;

    // Operator commands beside the session's; Sender is ignored.
    void Memo1DblClick(HWND Sender);

    // The window's message handling: WM_RXDATA to OnRxData, the link's other messages to the
    // session, everything else to its own handling or the default one.
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void OnRxData(WPARAM wParam, LPARAM /*lParam*/) { Session.OnRxData(wParam); }

    // The window's keyboard shortcuts (Ctrl+O), for the message loop: true when the message
    // was one of them and has been handled.
    bool TranslateKeys(MSG* message);

    // The chooser's item index, or -1 when the text was typed by hand.
    int SelectedPortIndex() const;
    // What fills ComboBox1 and reads the choice from it.
    vemor::PortChooser& PortList() { return *chooser_; }
    vemor::FormDisplay& Display() { return *display_; }
    // The target of the serial layer's notifications.
    vemor::NotifyHandle* Notify() { return Session.Notify(); }
    // The status bar's passing message, and its fields.
    std::string StatusText() const { return statusTexts_[0]; }
    std::string CaptureFieldText() const { return statusTexts_[1]; }
    std::string HealthFieldText() const { return statusTexts_[2]; }
    // When set, destroying the window ends the message loop (the program's own window).
    bool QuitOnDestroy = false;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK MemoProc(HWND window, UINT message, WPARAM w, LPARAM l);
    void BuildLayout();
    void BuildChart();
    // Design sizes are for 96 dots per inch; the window's screen may have more.
    int Scaled(int designPixels) const { return MulDiv(designPixels, dpi_, 96); }
    void MakeFonts();
    void ChangeScale(int dpi, const RECT& suggested);
    HWND Place(const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
               HWND parent, int id = 0, DWORD exStyle = 0);
    void Layout(int width, int height);
    void LayoutStatus();
    void DrawStatusPart(const DRAWITEMSTRUCT& item);
    void ShowPage(int index);
    void ReadLocale();

    // What the session asks of the window.
    vemor::Display& Screen() override { return *display_; }
    std::string Button1Caption() const override;
    void SetButton1Caption(const std::string& caption) override;
    void EnableCommand(vemor::Command command, bool enabled) override;
    vemor::PortChoice ChosenPort() const override;
    void ShowStatus(const std::string& text) override { SetStatusPart(0, text); }
    void ShowCaptureField(const std::string& text) override { SetStatusPart(1, text); }
    void ShowCaptureTip(const std::string& path) override;
    void ShowHealthField(const std::string& text) override { SetStatusPart(2, text); }
    void SetLineLost(bool lost) override { display_->SetLineLost(lost); }
    void SetStale() override { display_->SetStale(); }
    void ShowError(const std::string& text) override;
    void ShowBox(const std::string& text, const std::string& caption) override;
    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void DiscardLineMessages() override;
    void SetTicking(bool on) override;
    void HoldOffSleep(bool on) override;
    bool SleepHeldOff() const override { return sleepHeld_; }
    void SetStatusPart(int part, const std::string& text);

    int dpi_ = 96;
    HACCEL keys_ = nullptr;
    HFONT font_ = nullptr;
    HFONT labelFont_ = nullptr;
    struct Placed {
        HWND window;
        RECT design; // left, top, width, height at 96 dpi
    };
    std::vector<Placed> placed_; // the controls with a fixed place in the strip
    WNDPROC memoDefault_ = nullptr;
    std::unique_ptr<vemor::FormDisplay> display_;
    std::unique_ptr<vemor::PortChooser> chooser_;
    std::array<std::string, 3> statusTexts_;
    std::string captureTip_;
    bool destroyed_ = false;
    bool sleepHeld_ = false;
};

extern TForm1* Form1;
