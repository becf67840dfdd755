#include "Main.h"

#include "CaptureViewer.h"
#include "ChartStyle.h"
#include "ErrorDisplay.h"
#include "SystemLocale.h"

#include "vemor/Capture.h"
#include "vemor/Display.h"
#include "vemor/Messages.h"
#include "vemor/Packet.h"
#include "vemor/Values.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

TForm1* Form1 = nullptr;
vemor::ThreadIO* SerialThread = nullptr;

namespace {

constexpr int BaudRate = 62500;
constexpr int DefaultPortIndex = 9; // "COM10"
constexpr std::uint32_t DrainSize = 8192;

// Qt hands a posted event to the GUI thread under its own futex-based lock, which the thread
// sanitizer cannot see; these declare that hand-off to it and compile to nothing otherwise.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
void HandOff(void* event) {
    __tsan_release(event);
}
void TakeOver(void* event) {
    __tsan_acquire(event);
}
#else
void HandOff(void*) {}
void TakeOver(void*) {}
#endif

// Posts the serial layer's notifications into the window's event queue; Qt's posted events
// are thread-safe and keep their order. Post is called on the reader thread, Stopped on the
// GUI thread.
class WindowNotify final : public vemor::NotifyHandle {
public:
    explicit WindowNotify(TForm1* window) : window_(window) {}
    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        auto event = std::make_unique<TMessage>(message, wParam, lParam);
        HandOff(event.get());
        QCoreApplication::postEvent(window_, event.release());
    }
    void Stopped(vemor::ThreadIO& link) override {
        vemor::RunHandler([&] { window_->DrainAll(link); });
    }

private:
    TForm1* window_;
};

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, int width) {
    auto* l = new QLabel(QString::fromLatin1(name), parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(vemor::chart::ValueFont());
    l->setGeometry(left, top, width, 20);
    l->setTextFormat(Qt::PlainText); // no rich-text guess for every frame's text
    return l;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, int top) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(left, top, 75, 25);
    return b;
}

} // namespace

TForm1::TForm1(QWidget* owner) : QMainWindow(owner), notify_(std::make_unique<WindowNotify>(this)) {
    BuildLayout();
    BuildChart();
    display_ =
        new vemor::FormDisplay({LabelRPM, LabelBatt, LabelECT, LabelMAT, LabelPW}, Chart1, this);
    ReadLocale();

    ComboBox1->setCurrentIndex(DefaultPortIndex);
    CaptureStream.reset();
    SerialThread = nullptr;
    Button2->setEnabled(false);
    Button3->setEnabled(false);
}

TForm1::~TForm1() {
    FormDestroy(this);
}

void TForm1::BuildLayout() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Vemor"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);

    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(true);
    CaptureField = new vemor::CaptureStatus(StatusBar1);
    health_ = new vemor::LineHealthField(StatusBar1);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(client);

    Panel1 = new QFrame(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFixedHeight(105);
    column->addWidget(Panel1);

    PageControl1 = new QTabWidget(client);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    column->addWidget(PageControl1, 1);
    Vemor = new QWidget;
    Vemor->setObjectName(QStringLiteral("Vemor"));
    Terminal = new QWidget;
    Terminal->setObjectName(QStringLiteral("Terminal"));
    PageControl1->addTab(Vemor, QStringLiteral("Vemor"));
    PageControl1->addTab(Terminal, QStringLiteral("Terminal"));

    Button1 = MakeButton(Panel1, "Button1", "Open", 16, 8);
    ComboBox1 = new vemor::PortChooser(Panel1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(98, 9, 94, 21);
    ComboBox1->setEditText(QStringLiteral("ComboBox1"));

    File1 = MainMenu1->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    OpenCapture1 = File1->addAction(QStringLiteral("Open Capture..."));
    OpenCapture1->setObjectName(QStringLiteral("OpenCapture1"));
    OpenCapture1->setShortcut(QKeySequence::Open);
    File1->addSeparator();
    StopCapture1 = File1->addAction(QStringLiteral("Stop Capture"));
    StopCapture1->setObjectName(QStringLiteral("StopCapture1"));
    StopCapture1->setEnabled(false);
    Tool1 = MainMenu1->addMenu(QStringLiteral("&Tool"));
    Tool1->setObjectName(QStringLiteral("Tool1"));
    Terminal1 = Tool1->addAction(QStringLiteral("Terminal"));
    Terminal1->setObjectName(QStringLiteral("Terminal1"));

    auto* page = new QVBoxLayout(Terminal);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    Memo1 = new QPlainTextEdit(Terminal);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFixedHeight(20);
    Memo1->viewport()->installEventFilter(this);

    Button2 = MakeButton(Panel1, "Button2", "Save File", 208, 8);
    Button3 = MakeButton(Panel1, "Button3", "Test", 16, 56);
    Button3->setEnabled(false);
    Button3->setVisible(false);

    Chart1 = new QCustomPlot(Terminal);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    page->addWidget(Chart1, 1);
    page->addWidget(Memo1);

    LabelRPM = MakeLabel(Panel1, "LabelRPM", 320, 53, 83);
    LabelBatt = MakeLabel(Panel1, "LabelBatt", 320, 9, 79);
    LabelECT = MakeLabel(Panel1, "LabelECT", 495, 3, 79);
    LabelMAT = MakeLabel(Panel1, "LabelMAT", 496, 53, 81);
    LabelPW = MakeLabel(Panel1, "LabelPW", 728, 0, 72);

    setTabOrder(Button1, ComboBox1);
    setTabOrder(ComboBox1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, PageControl1);
    setTabOrder(Memo1, Chart1);
    PageControl1->setCurrentWidget(Terminal);

    connect(Button1, &QPushButton::clicked, this,
            [this] { vemor::RunHandler([this] { Button1Click(Button1); }); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { vemor::RunHandler([this] { Button2Click(Button2); }); });
    connect(Button3, &QPushButton::clicked, this,
            [this] { vemor::RunHandler([this] { Button3Click(Button3); }); });
    connect(OpenCapture1, &QAction::triggered, this,
            [this] { vemor::CaptureViewer::OpenWithDialog(this); });
    connect(StopCapture1, &QAction::triggered, this,
            [this] { vemor::RunHandler([this] { StopCapture1Click(StopCapture1); }); });

    // Client area 921 x 580 below the menu bar.
    move(56, 39);
    resize(921, 580 + MainMenu1->sizeHint().height());
}

void TForm1::BuildChart() {
    QCustomPlot* c = Chart1;
    const auto graphs = vemor::chart::Apply(c);
    QCPGraph** series[vemor::chart::SeriesCount] = {&Series1, &Series2, &Series3,
                                                    &Series4, &Series5, &Series6};
    for (std::size_t i = 0; i < graphs.size(); ++i) {
        *series[i] = graphs[i];
    }
    // A dragged rectangle zooms in; the wheel zooms the time axis, out into the history too.
    c->setSelectionRectMode(QCP::srmZoom);
    c->setInteractions(QCP::iRangeZoom);
    c->axisRect()->setRangeZoom(Qt::Horizontal);
    c->installEventFilter(this);
}

void TForm1::ReadLocale() {
    decimalSeparator_ = vemor::SystemDecimalSeparator();
    display_->SetDecimalSeparator(decimalSeparator_);
}

int TForm1::SelectedPortIndex() const {
    return ComboBox1->SelectedIndex();
}

// The open port's name, or COM N of a notification that outlived its port.
QString TForm1::PortName(std::intptr_t portNumber) const {
    if (SerialThread != nullptr) {
        return QString::fromLocal8Bit(SerialThread->PortName());
    }
    return QStringLiteral("COM%1").arg(portNumber);
}

bool TForm1::event(QEvent* e) {
    bool handled = false;
    vemor::RunHandler([&] { handled = Dispatch(e); });
    return handled;
}

bool TForm1::Dispatch(QEvent* message) {
    TakeOver(message); // before the first read of an event that may come from the reader
    const auto type = static_cast<unsigned>(message->type());
    if (type == vemor::WM_RXDATA) {
        OnRxData(*static_cast<TMessage*>(message));
        return true;
    }
    if (type == vemor::WM_READERFAULT) {
        if (SerialThread != nullptr) {
            const auto& m = *static_cast<TMessage*>(message);
            const auto dropped = static_cast<qulonglong>(m.LParam);
            ShowStatus(QStringLiteral("%1: the reader ran out of memory (%2 times so far) and "
                                      "goes on; %3.")
                           .arg(QString::fromLocal8Bit(SerialThread->PortName()))
                           .arg(static_cast<qulonglong>(m.WParam))
                           .arg(dropped == 0
                                    ? QStringLiteral("no received byte was lost")
                                    : QStringLiteral("%1 received bytes were lost").arg(dropped)));
            // Bytes whose own notification failed are waiting.
            Drain(*SerialThread);
        }
        return true;
    }
    if (type == vemor::WM_LINELOST || type == vemor::WM_LINEBACK) {
        const auto& m = *static_cast<TMessage*>(message);
        display_->SetLineLost(type == vemor::WM_LINELOST);
        const QString port = PortName(m.LParam);
        if (type == vemor::WM_LINELOST) {
            ShowStatus(QStringLiteral("%1: the line is lost (%2). Waiting for the device to "
                                      "return; Close stops waiting.")
                           .arg(port, QString::fromLocal8Bit(
                                          vemor::SystemText(static_cast<int>(m.WParam)))));
        } else {
            ShowStatus(QStringLiteral("%1: the line is back; reading goes on.").arg(port));
        }
        return true;
    }
    if (message->type() == QEvent::LocaleChange) {
        ReadLocale();
    }
    return QMainWindow::event(message);
}

void TForm1::OnRxData(const TMessage& message) {
    if (message.WParam == 0 || SerialThread == nullptr) {
        return;
    }
    Drain(*SerialThread);
}

std::uint32_t TForm1::Drain(vemor::ThreadIO& link) {
    std::uint8_t buffer[DrainSize];
    const std::uint32_t n = link.ReadQueue(buffer, DrainSize);
    if (CaptureStream && n > 0 && !CaptureStream->Append(buffer, n)) {
        ReportCaptureWriteFailure();
    }
    FeedBytes(buffer, n);
    return n;
}

void TForm1::DrainAll(vemor::ThreadIO& link) {
    while (Drain(link) > 0) {
    }
}

void TForm1::FeedBytes(const std::uint8_t* bytes, std::size_t count) {
    std::size_t frames = 0;
    const std::size_t rejected =
        Assembler.AssembleBytes(bytes, count, [&](const std::uint8_t* frame) {
            ++frames;
            ShowFrame(frame);
        });
    health_->Add(count, frames, rejected);
}

void TForm1::AssembleByte(std::uint8_t b) {
    Assembler.AssembleByte(b, [this](const std::uint8_t* frame) { ShowFrame(frame); });
}

void TForm1::ShowFrame(const std::uint8_t* frame) {
    vemor::ShowFrame(frame, *display_, decimalSeparator_);
}

void TForm1::SendPacket(std::uint8_t* packet) {
    if (!vemor::CompletePacket(packet)) {
        return;
    }
    if (SerialThread == nullptr || SerialThread->Suspended()) {
        return;
    }
    std::uint32_t written = 0;
    SerialThread->WritePort(packet, packet[1], &written);
}

void TForm1::Button1Click(QObject*) {
    if (Button1->text() == QLatin1String("Open")) {
        // A device path travels beside the port number, which is 0 for it.
        const vemor::PortChooser::Choice port = ComboBox1->Chosen();
        SerialThread = new vemor::ThreadIO(true, port.Number, BaudRate, notify_.get(), port.Path);
        if (SerialThread == nullptr) {
            return;
        }
        if (SerialThread->GetPortHandle() == vemor::INVALID_HANDLE_VALUE) {
            const vemor::OpenFailure failure = SerialThread->OpenError();
            const QString name = PortName(port.Number);
            delete SerialThread;
            SerialThread = nullptr;
            // The one failure without a box still deserves a word to the operator.
            if (failure.Step == vemor::OpenStep::GetSettings) {
                ShowStatus(
                    QStringLiteral("%1: the line settings cannot be read (%2); it "
                                   "may not be a serial port.")
                        .arg(name, QString::fromLocal8Bit(vemor::SystemText(failure.Error))));
            }
            return;
        }
        Button2->setEnabled(true);
        Button3->setEnabled(true);
        Button1->setText(QStringLiteral("Close"));
        ShowStatus(QString());
        health_->Watch(SerialThread, BaudRate);
    } else {
        Button1->setText(QStringLiteral("Open"));
        health_->Watch(nullptr, 0);
        delete SerialThread;
        SerialThread = nullptr;
        Button2->setEnabled(false);
        Button3->setEnabled(false);
        // What the closed line said no longer applies, nor does what it posted just before.
        QCoreApplication::removePostedEvents(this, static_cast<int>(vemor::WM_LINELOST));
        QCoreApplication::removePostedEvents(this, static_cast<int>(vemor::WM_LINEBACK));
        ShowStatus(QString());
    }
}

void TForm1::Button2Click(QObject*) {
    const std::string timeText =
        vemor::TimeText(vemor::LocalTimeOfDay(), vemor::TimeFormatFromLocale());
    ResetAssembler();
    std::string unfinished;
    if (CaptureStream) {
        unfinished = FinishCapture(timeText);
    }
    CaptureStream.reset();
    CaptureField->ClearWarning();
    // The old capture's failure is shown once the new one runs, so that nothing received
    // while the box is open misses it.
    try {
        StartCapture(timeText);
    } catch (...) {
        ShowUnfinished(unfinished);
        throw;
    }
    ShowUnfinished(unfinished);
}

vemor::CaptureNamer& TForm1::CaptureNames() {
    // Process-wide, so that the captures of one run get rising numbers. GUI thread only.
    static vemor::CaptureNamer namer;
    return namer;
}

void TForm1::Button3Click(QObject*) {
    std::array<std::uint8_t, vemor::TestPacketLength> packet{};
    vemor::FillTestPacket(packet);
    SendPacket(packet.data());
}

void TForm1::Memo1DblClick(QObject*) {
    Memo1->clear();
}

void TForm1::StopCapture1Click(QObject*) {
    if (CaptureStream) {
        ShowUnfinished(
            FinishCapture(vemor::TimeText(vemor::LocalTimeOfDay(), vemor::TimeFormatFromLocale())));
    }
}

void TForm1::FormDestroy(QObject*) {
    if (SerialThread != nullptr) {
        SerialThread->Terminate();
        health_->Watch(nullptr, 0);
        delete SerialThread;
        SerialThread = nullptr;
    }
    if (CaptureStream) {
        ShowUnfinished(
            FinishCapture(vemor::TimeText(vemor::LocalTimeOfDay(), vemor::TimeFormatFromLocale())));
    }
}

void TForm1::StartCapture(const std::string& timeText) {
    const std::optional<std::string> name = CaptureNames().NextName(vemor::NameTaken);
    if (!name) {
        throw std::runtime_error("Cannot create a capture file: every name from TMP1.$$$ to "
                                 "TMP65535.$$$ is taken in " +
                                 vemor::ExpandedPath(""));
    }
    CaptureStream = std::make_unique<vemor::CaptureFile>(*name, timeText);
    CaptureField->Began(*CaptureStream, decimalSeparator_);
    StopCapture1->setEnabled(true);
}

std::string TForm1::FinishCapture(const std::string& timeText) {
    std::string failure;
    if (!CaptureStream->Finish(timeText)) {
        failure = vemor::CannotFinishFileMessage(CaptureStream->FullPath(),
                                                 vemor::SystemText(CaptureStream->LastError()));
    }
    CaptureField->Ended();
    CaptureStream.reset();
    StopCapture1->setEnabled(false);
    return failure;
}

void TForm1::ShowUnfinished(const std::string& failure) {
    if (!failure.empty()) {
        vemor::ShowErrorDisplay(QString::fromLocal8Bit(failure));
    }
}

void TForm1::ReportCaptureWriteFailure() {
    if (CaptureField->Warned()) {
        return;
    }
    CaptureField->Warn(
        QStringLiteral("%1: received bytes could not be written (%2); the capture is "
                       "incomplete. Free disk space, then Save File starts a new capture.")
            .arg(QString::fromLocal8Bit(CaptureStream->Name()),
                 QString::fromLocal8Bit(vemor::SystemText(CaptureStream->LastError()))));
}

void TForm1::ShowStatus(const QString& text) {
    StatusBar1->showMessage(text);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonDblClick) {
        if (watched == Memo1->viewport()) {
            vemor::RunHandler([this] { Memo1DblClick(Memo1); });
            return true;
        }
        if (watched == Chart1) {
            display_->UndoZoom();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}
