#pragma once
// The main window: control strip, value labels, chart, memo, and the operator's commands.

#include "FormDisplay.h"
#include "PortChooser.h"
#include "SleepInhibitor.h"
#include "StatusField.h"
#include "vemor/SessionForm.h"

#include <QEvent>
#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
class QTimer;

// A notification from the serial layer, delivered through the window's event queue, with the
// ones of its kind posted together after it.
class TMessage : public QEvent {
public:
    TMessage(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(msg)), Msg(msg), WParam(wParam), LParam(lParam) {}
    unsigned Msg;
    std::uintptr_t WParam;
    std::intptr_t LParam;
    std::vector<vemor::PostedMessage> Then; // handled after this one, in order
};

// The Qt window: lays out the controls and paints what its session says; the session does
// the work of every command.
class TForm1 : public QMainWindow,
               private vemor::SessionWindow,
               public vemor::SessionForm<QObject*> {
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
    QAction* OpenCapture1;            // in File1; a capture in a viewer window of its own
    QAction* StopCapture1;            // in File1; enabled while a capture runs
    QAction* SaveLastMinutes1;        // in File1; the last minutes received, as a capture
    QAction* Mark1;                   // in File1, F2: a mark at the newest received byte
    QAction* MarkWithNote1;           // in File1, Shift+F2: the same with a note asked for
    vemor::StatusField* MessageField; // the messages of StatusBar1, left of the fields
    vemor::StatusField* CaptureField; // permanent field of StatusBar1
    vemor::StatusField* HealthField;  // permanent field of StatusBar1, after CaptureField

    // Operator commands beside the session's; Sender is ignored.
    void Memo1DblClick(QObject* Sender);

    // The chooser's item index, or -1 when the text was typed by hand.
    int SelectedPortIndex() const;
    vemor::FormDisplay& Display() { return *display_; }
    // The target of the serial layer's notifications.
    vemor::NotifyHandle* Handle() { return Session.Notify(); }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    bool Dispatch(QEvent* message);
    // One message of the serial layer, on the GUI thread.
    bool OnLinkMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    void BuildLayout();
    void BuildChart();
    void ReadLocale();

    // What the session asks of the window.
    vemor::Display& Screen() override { return *display_; }
    std::string Button1Caption() const override;
    void SetButton1Caption(const std::string& caption) override;
    void EnableCommand(vemor::Command command, bool enabled) override;
    vemor::PortChoice ChosenPort() const override;
    void ShowStatus(const std::string& text) override;
    void ShowCaptureField(const std::string& text) override;
    void ShowCaptureTip(const std::string& path) override;
    void ShowHealthField(const std::string& text) override;
    void SetLineLost(bool lost) override { display_->SetLineLost(lost); }
    void SetStale() override { display_->SetStale(); }
    void ShowError(const std::string& text) override;
    void ShowBox(const std::string& text, const std::string& caption) override;
    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void PostAll(const vemor::PostedMessage* posts, std::size_t count) override;
    void DiscardLineMessages() override;
    void SetTicking(bool on) override;
    void HoldOffSleep(bool on) override { sleep_.Hold(on); }
    bool SleepHeldOff() const override { return sleep_.Held(); }

    vemor::FormDisplay* display_ = nullptr;
    QTimer* ticks_ = nullptr;
    vemor::SleepInhibitor sleep_;
};

extern TForm1* Form1;
