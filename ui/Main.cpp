#include "Main.h"

#include "CaptureViewer.h"
#include "ChartStyle.h"
#include "ErrorDisplay.h"
#include "SystemLocale.h"

#include "vemor/Capture.h"
#include "vemor/Display.h"
#include "vemor/LastMinutes.h"
#include "vemor/Messages.h"
#include "vemor/Packet.h"
#include "vemor/Values.h"
#include "vemor/WindowSize.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
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

namespace {

constexpr int DefaultPortIndex = 9; // "COM10"

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

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

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
    b->setAutoDefault(true); // Enter and Return press it when it has the focus, as Space does
    return b;
}

} // namespace

TForm1::TForm1(QWidget* owner)
    : QMainWindow(owner), SessionForm(static_cast<vemor::SessionWindow&>(*this)) {
    BuildLayout();
    BuildChart();
    display_ =
        new vemor::FormDisplay({LabelRPM, LabelBatt, LabelECT, LabelMAT, LabelPW}, Chart1, this);
    ReadLocale();
    ticks_ = new QTimer(this);
    ticks_->setInterval(vemor::Session::TickMs);
    connect(ticks_, &QTimer::timeout, this, [this] { Session.Tick(); });
    display_->OnPaintTick = [this] { Session.TickAtPaint(); };

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
    MessageField = new vemor::StatusField(StatusBar1, vemor::StatusField::Place::Message);
    MessageField->setObjectName(QStringLiteral("MessageField"));
    CaptureField = new vemor::StatusField(StatusBar1);
    CaptureField->setObjectName(QStringLiteral("CaptureStatus"));
    HealthField = new vemor::StatusField(StatusBar1);
    HealthField->setObjectName(QStringLiteral("LineHealth"));
    HealthField->setContentsMargins(12, 0, 0, 0); // apart from the field before it
    HealthField->SetTip(QStringLiteral(
        "The open line: frames per second, frames of the wrong length since it opened, and the "
        "receive errors the driver counted (framing, parity, overrun of the UART and of the "
        "driver's buffer), where it counts them."));

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
    SaveLastMinutes1 = File1->addAction(QStringLiteral("Save Last Minutes..."));
    SaveLastMinutes1->setObjectName(QStringLiteral("SaveLastMinutes1"));
    Mark1 = File1->addAction(QStringLiteral("Mark"));
    Mark1->setObjectName(QStringLiteral("Mark1"));
    Mark1->setShortcut(Qt::Key_F2);
    MarkWithNote1 = File1->addAction(QStringLiteral("Mark with Note..."));
    MarkWithNote1->setObjectName(QStringLiteral("MarkWithNote1"));
    MarkWithNote1->setShortcut(Qt::SHIFT | Qt::Key_F2);
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
    connect(SaveLastMinutes1, &QAction::triggered, this, [this] {
        vemor::RunHandler([this] {
            SaveLastMinutes1Click(SaveLastMinutes1, [this]() -> std::optional<int> {
                QStringList items;
                for (const int minutes : vemor::LastMinutesChoices) {
                    items << QString::fromStdString(vemor::MinutesText(minutes));
                }
                bool ok = false;
                const QString chosen = QInputDialog::getItem(
                    this, QString::fromLatin1(vemor::LastMinutesTitle),
                    QString::fromLatin1(vemor::LastMinutesPrompt), items,
                    static_cast<int>(vemor::LastMinutesPreselected), false, &ok);
                if (!ok) {
                    return std::nullopt;
                }
                return vemor::LastMinutesChoices[static_cast<std::size_t>(items.indexOf(chosen))];
            });
        });
    });
    connect(Mark1, &QAction::triggered, this,
            [this] { vemor::RunHandler([this] { Mark1Click(Mark1); }); });
    connect(MarkWithNote1, &QAction::triggered, this, [this] {
        vemor::RunHandler([this] {
            MarkWithNote1Click(MarkWithNote1, [this]() -> std::optional<std::string> {
                bool ok = false;
                const QString note = QInputDialog::getText(this, QStringLiteral("Mark with Note"),
                                                           QStringLiteral("Note for the mark:"),
                                                           QLineEdit::Normal, QString(), &ok);
                if (!ok) {
                    return std::nullopt;
                }
                return note.toLocal8Bit().toStdString();
            });
        });
    });

    // Client area 921 x 580 below the menu bar.
    move(56, 39);
    resize(921, 580 + MainMenu1->sizeHint().height());
    // A window manager keeps the window at least this large (Qt scales it with the screen).
    setMinimumSize(vemor::MinimumClientWidth,
                   vemor::MinimumClientHeight + MainMenu1->sizeHint().height());
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
    const char separator = vemor::SystemDecimalSeparator();
    Session.SetDecimalSeparator(separator);
    display_->SetDecimalSeparator(separator);
}

int TForm1::SelectedPortIndex() const {
    return ComboBox1->SelectedIndex();
}

bool TForm1::event(QEvent* e) {
    bool handled = false;
    vemor::RunHandler([&] { handled = Dispatch(e); });
    return handled;
}

bool TForm1::Dispatch(QEvent* message) {
    TakeOver(message); // before the first read of an event that may come from the reader
    const auto type = static_cast<unsigned>(message->type());
    if (type == vemor::WM_RXDATA || type == vemor::WM_READERFAULT || type == vemor::WM_LINELOST ||
        type == vemor::WM_LINEBACK) {
        const auto& m = *static_cast<TMessage*>(message);
        const bool handled = OnLinkMessage(m.Msg, m.WParam, m.LParam);
        for (const vemor::PostedMessage& then : m.Then) {
            OnLinkMessage(then.Message, then.WParam, then.LParam);
        }
        return handled;
    }
    if (message->type() == QEvent::LocaleChange) {
        ReadLocale();
    }
    return QMainWindow::event(message);
}

void TForm1::Memo1DblClick(QObject*) {
    Memo1->clear();
}

std::string TForm1::Button1Caption() const {
    return Button1->text().toLocal8Bit().toStdString();
}

void TForm1::SetButton1Caption(const std::string& caption) {
    Button1->setText(Local(caption));
}

void TForm1::EnableCommand(vemor::Command command, bool enabled) {
    switch (command) {
    case vemor::Command::SaveFile:
        Button2->setEnabled(enabled);
        break;
    case vemor::Command::Test:
        Button3->setEnabled(enabled);
        break;
    case vemor::Command::StopCapture:
        StopCapture1->setEnabled(enabled);
        break;
    }
}

vemor::PortChoice TForm1::ChosenPort() const {
    const vemor::PortChooser::Choice port = ComboBox1->Chosen();
    return {port.Number, port.Path};
}

void TForm1::ShowStatus(const std::string& text) {
    MessageField->Show(Local(text));
}

void TForm1::ShowCaptureField(const std::string& text) {
    CaptureField->Show(Local(text));
}

void TForm1::ShowCaptureTip(const std::string& path) {
    CaptureField->SetTip(Local(path));
}

void TForm1::ShowHealthField(const std::string& text) {
    HealthField->Show(Local(text));
}

void TForm1::ShowError(const std::string& text) {
    vemor::ShowErrorDisplay(Local(text));
}

void TForm1::ShowBox(const std::string& text, const std::string& caption) {
    if (Caught(text, caption)) {
        return;
    }
    // A failure to open has OK and Cancel; a warning about an open port only OK.
    const bool failure = caption == "GetLastError";
    QMessageBox box(failure ? QMessageBox::Critical : QMessageBox::Warning, Local(caption),
                    Local(text), failure ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    this);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse); // the commands it suggests
    box.exec();
}

bool TForm1::OnLinkMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == vemor::WM_RXDATA) {
        Session.OnRxData(wParam);
        return true;
    }
    return Session.OnLinkMessage(message, wParam, lParam);
}

// Qt's posted events are thread-safe and keep their order. Reader thread.
void TForm1::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    auto event = std::make_unique<TMessage>(message, wParam, lParam);
    HandOff(event.get());
    QCoreApplication::postEvent(this, event.release());
}

// One event, so one wake-up of the window, for the reads of one post.
void TForm1::PostAll(const vemor::PostedMessage* posts, std::size_t count) {
    if (count == 0) {
        return;
    }
    auto event = std::make_unique<TMessage>(posts[0].Message, posts[0].WParam, posts[0].LParam);
    event->Then.assign(posts + 1, posts + count);
    HandOff(event.get());
    QCoreApplication::postEvent(this, event.release());
}

void TForm1::DiscardLineMessages() {
    QCoreApplication::removePostedEvents(this, static_cast<int>(vemor::WM_LINELOST));
    QCoreApplication::removePostedEvents(this, static_cast<int>(vemor::WM_LINEBACK));
}

void TForm1::SetTicking(bool on) {
    if (on) {
        ticks_->start();
    } else {
        ticks_->stop();
    }
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
