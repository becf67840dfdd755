#pragma once
// The main window on Win32: control strip, value labels, tab pages with the chart and the
// memo, status bar, menu, and the operator's commands. GUI thread only.

#include "Chart.h"
#include "FormDisplay.h"
#include "Threadio.h"
#include "vemor/Assembler.h"
#include "vemor/Capture.h"
#include "vemor/capture/CaptureFile.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

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
};

class TForm1 {
public:
    // Creates the window from the layout, hidden; Show() shows it.
    explicit TForm1(HINSTANCE instance);
    // Destroys the window if it is still there; FormDestroy runs before the components go.
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    void Show(int how);

    // The window and its components, owned by the window.
    HWND Handle = nullptr;
    HMENU MainMenu1 = nullptr;
    HWND StatusBar1 = nullptr;
    HWND Panel1 = nullptr;
    HWND PageControl1 = nullptr;
    HWND Vemor = nullptr;
    HWND Terminal = nullptr;
    HWND Button1 = nullptr;
    HWND ComboBox1 = nullptr;
    UINT File1 = IdFile1;
    HMENU Tool1 = nullptr;
    UINT Terminal1 = IdTerminal1;
    HWND Memo1 = nullptr;
    HWND Button2 = nullptr;
    HWND Button3 = nullptr;
    std::unique_ptr<vemor::StripChart> Chart1; // Series1..Series6 are its series 0..5
    HWND LabelRPM = nullptr;
    HWND LabelBatt = nullptr;
    HWND LabelECT = nullptr;
    HWND LabelMAT = nullptr;
    HWND LabelPW = nullptr;

    // Operator commands; Sender is ignored.
    void Button1Click(HWND Sender);
    void Button2Click(HWND Sender);
    void Button3Click(HWND Sender);
    void Memo1DblClick(HWND Sender);
    void FormDestroy(HWND Sender);

    // The window's message handling: WM_RXDATA to OnRxData, everything else to its own
    // handling or the default one.
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void OnRxData(WPARAM wParam, LPARAM lParam);

    // Decodes a drained batch byte by byte, showing every accepted frame.
    void FeedBytes(const std::uint8_t* bytes, std::size_t count);
    void ResetAssembler() { Assembler.ResetAssembler(); }
    void ShowFrame(const std::uint8_t* frame);
    void SendPacket(std::uint8_t* packet);
    void StartCapture(const std::string& timeText);
    void FinishCapture(const std::string& timeText);

    // The capture name counter of the process.
    static vemor::CaptureNamer& CaptureNames();
    // The chooser's item index, or -1 when the text was typed by hand.
    int SelectedPortIndex() const;
    char DecimalSeparator() const { return decimalSeparator_; }
    vemor::FormDisplay& Display() { return *display_; }
    // The target of the serial layer's notifications.
    vemor::NotifyHandle* Notify() { return notify_.get(); }
    std::string StatusText() const;
    // When set, destroying the window ends the message loop (the program's own window).
    bool QuitOnDestroy = false;

    std::unique_ptr<vemor::CaptureFile> CaptureStream;
    vemor::FrameAssembler Assembler; // FrameBuf, SyncWord, FramePos

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK MemoProc(HWND window, UINT message, WPARAM w, LPARAM l);
    void BuildLayout();
    void BuildChart();
    void Layout(int width, int height);
    void ShowPage(int index);
    void ReadLocale();
    void ShowStatus(const std::string& text);
    void ReportCaptureWriteFailure();

    HFONT font_ = nullptr;
    HFONT labelFont_ = nullptr;
    WNDPROC memoDefault_ = nullptr;
    std::unique_ptr<vemor::NotifyHandle> notify_;
    std::unique_ptr<vemor::FormDisplay> display_;
    char decimalSeparator_ = '.';
    bool captureFailureShown_ = false;
    bool destroyed_ = false;
};

extern TForm1* Form1;
extern vemor::ThreadIO* SerialThread; // GUI thread only; null while no port is open

// Installs the real "GetLastError" box of the serial layer.
void InstallSerialErrorBox();
