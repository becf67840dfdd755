#pragma once
// The main window: control strip, value labels, chart, memo, and the operator's commands.

#include "CaptureStatus.h"
#include "FormDisplay.h"
#include "LineHealth.h"
#include "PortChooser.h"
#include "Threadio.h"
#include "vemor/Assembler.h"
#include "vemor/Capture.h"
#include "vemor/capture/CaptureFile.h"

#include <QEvent>
#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QCPGraph;
class QCustomPlot;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;

// A notification from the serial layer, delivered through the window's event queue.
class TMessage : public QEvent {
public:
    TMessage(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(msg)), Msg(msg), WParam(wParam), LParam(lParam) {}
    unsigned Msg;
    std::uintptr_t WParam;
    std::intptr_t LParam;
};

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* owner = nullptr);
    ~TForm1() override; // runs FormDestroy before the components go

    // Components, owned by the window (Qt parent-child), named as their Qt object names.
    QMenuBar* MainMenu1;
    QStatusBar* StatusBar1;
    QFrame* Panel1;
    QTabWidget* PageControl1;
    QWidget* Vemor;
    QWidget* Terminal;
    QPushButton* Button1;
    vemor::PortChooser* ComboBox1;
    QMenu* File1;
    QMenu* Tool1;
    QAction* Terminal1;
    QPlainTextEdit* Memo1;
    QPushButton* Button2;
    QPushButton* Button3;
    QCustomPlot* Chart1;
    QCPGraph* Series1;
    QCPGraph* Series2;
    QCPGraph* Series3;
    QCPGraph* Series4;
    QCPGraph* Series5;
    QCPGraph* Series6;
    QLabel* LabelRPM;
    QLabel* LabelBatt;
    QLabel* LabelECT;
    QLabel* LabelMAT;
    QLabel* LabelPW;
    QAction* OpenCapture1;              // in File1; a capture in a viewer window of its own
    QAction* StopCapture1;              // in File1; enabled while a capture runs
    vemor::CaptureStatus* CaptureField; // permanent field of StatusBar1

    // Operator commands; Sender is ignored.
    void Button1Click(QObject* Sender);
    void Button2Click(QObject* Sender);
    void Button3Click(QObject* Sender);
    void Memo1DblClick(QObject* Sender);
    void StopCapture1Click(QObject* Sender);
    void FormDestroy(QObject* Sender);

    void AssembleByte(std::uint8_t b);
    // Decodes a drained batch byte by byte, showing every accepted frame.
    void FeedBytes(const std::uint8_t* bytes, std::size_t count);
    // Everything the stopped reader of `link` left queued, into the capture and the assembler
    // as the notifications would have brought it; before the link frees its queue.
    void DrainAll(vemor::ThreadIO& link);
    void ResetAssembler() { Assembler.ResetAssembler(); }
    void ShowFrame(const std::uint8_t* frame);
    void SendPacket(std::uint8_t* packet);
    void StartCapture(const std::string& timeText);
    // Writes the stop time and closes the file; CaptureStream is null afterwards. Returns the
    // operator's text when that failed, for the caller to show once it may; empty otherwise.
    std::string FinishCapture(const std::string& timeText);

    // The capture name counter of the process.
    static vemor::CaptureNamer& CaptureNames();
    // The chooser's item index, or -1 when the text was typed by hand.
    int SelectedPortIndex() const;
    char DecimalSeparator() const { return decimalSeparator_; }
    vemor::FormDisplay& Display() { return *display_; }
    // The target of the serial layer's notifications.
    vemor::NotifyHandle* Handle() { return notify_.get(); }

    // GUI thread only, like everything below.
    std::unique_ptr<vemor::CaptureFile> CaptureStream;
    vemor::FrameAssembler Assembler; // FrameBuf, SyncWord, FramePos

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    bool Dispatch(QEvent* message);
    void OnRxData(const TMessage& message);
    // One batch of up to 8192 queued bytes into the capture and the assembler; its size.
    std::uint32_t Drain(vemor::ThreadIO& link);

private:
    void BuildLayout();
    void BuildChart();
    void ReadLocale();
    void ShowStatus(const QString& text);
    void ReportCaptureWriteFailure();
    void ShowUnfinished(const std::string& failure);
    QString PortName(std::intptr_t portNumber) const;

    std::unique_ptr<vemor::NotifyHandle> notify_;
    vemor::FormDisplay* display_ = nullptr;
    vemor::LineHealthField* health_ = nullptr; // in the status bar
    char decimalSeparator_ = '.';
};

extern TForm1* Form1;
extern vemor::ThreadIO* SerialThread; // GUI thread only; null while no port is open
