#include "CaptureViewer.h"

#include "ChartStyle.h"
#include "ClockTicker.h"
#include "ErrorDisplay.h"
#include "SystemLocale.h"
#include "TraceBars.h"

#include "vemor/Values.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace vemor {

namespace {

using decode::XUnit;
using Outcome = decode::ViewerModel::Outcome;

constexpr int PollMs = 30;
constexpr int PlayMs = 40; // a readout that changes 25 times a second can still be followed

const QColor RejectColour(255, 64, 64);

QList<CaptureViewer*>& Viewers() {
    static QList<CaptureViewer*> viewers; // GUI thread only
    return viewers;
}

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CaptureViewer* CaptureViewer::Open(const QString& path, QWidget* opener) {
    auto* viewer = new CaptureViewer(path);
    if (opener != nullptr && opener->window()->isVisible()) {
        const QWidget* from = opener->window();
        const QRect o = from->frameGeometry();
        QScreen* screen = from->screen();
        const QRect s = screen != nullptr ? screen->availableGeometry() : o;
        std::vector<std::pair<int, int>> taken;
        for (const CaptureViewer* v : Viewers()) {
            if (v != viewer && v->isVisible()) {
                taken.emplace_back(v->frameGeometry().left(), v->frameGeometry().top());
            }
        }
        const auto [x, y] = decode::NewViewerPlace({o.left(), o.top(), o.width(), o.height()},
                                                   {s.left(), s.top(), s.width(), s.height()},
                                                   viewer->width(), viewer->height(), taken);
        viewer->move(x, y);
    }
    viewer->show();
    return viewer;
}

void CaptureViewer::OpenWithDialog(QWidget* parent) {
    const QString path =
        QFileDialog::getOpenFileName(parent, QStringLiteral("Open Capture"), QDir::currentPath(),
                                     QStringLiteral("Captures (TMP*.$$$);;All files (*)"));
    if (!path.isEmpty()) {
        Open(path, parent);
    }
}

void CaptureViewer::CloseAll() {
    const QList<CaptureViewer*> open = Viewers();
    qDeleteAll(open);
}

CaptureViewer::CaptureViewer(const QString& path)
    : path_(path), model_(QFile::encodeName(path).toStdString()) {
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing the monitor ends the program; a viewer left open does not keep it running.
    setAttribute(Qt::WA_QuitOnClose, false);
    Viewers().append(this);
    ReadLocale();
    BuildWindow();
    connect(&poll_, &QTimer::timeout, this, &CaptureViewer::Poll);
    steady_.start();
    follow_.setInterval(decode::ViewerModel::FollowMs);
    connect(&follow_, &QTimer::timeout, this, &CaptureViewer::FollowFile);
    play_.setInterval(PlayMs);
    connect(&play_, &QTimer::timeout, this,
            [this] { Play([](decode::ViewerModel& m, std::int64_t now) { m.Advance(now); }); });
    StartLoading();
}

void CaptureViewer::StartLoading() {
    progressBar_->show();
    model_.StartLoading();
    poll_.start(PollMs);
}

CaptureViewer::~CaptureViewer() {
    Viewers().removeAll(this);
}

void CaptureViewer::ReadLocale() {
    model_.SetDecimalSeparator(SystemDecimalSeparator());
}

void CaptureViewer::BuildWindow() {
    setObjectName(QStringLiteral("CaptureViewer"));
    setWindowTitle(Local(model_.Title()));
    resize(1000, 620);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Open Capture..."), QKeySequence::Open, this,
                    [this] { OpenWithDialog(this); });
    exportAction_ =
        file->addAction(QStringLiteral("&Export CSV..."), this, [this] { AskExport(); });
    exportAction_->setObjectName(QStringLiteral("ExportCsv"));
    exportAction_->setEnabled(false);
    file->addSeparator();
    file->addAction(QStringLiteral("&Close"), QKeySequence::Close, this, &QWidget::close);
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addAction(QStringLiteral("Show &All"), QKeySequence(Qt::Key_Home), this,
                    [this] { ShowAll(); });
    view->addAction(QStringLiteral("&Reload"), QKeySequence(Qt::Key_F5), this,
                    [this] { Reload(); });
    view->addSeparator();
    view->addAction(QStringLiteral("&Play / Pause"), QKeySequence(Qt::Key_Space), this, [this] {
        Play([](decode::ViewerModel& m, std::int64_t now) { m.TogglePlay(now); });
    });
    view->addAction(QStringLiteral("&Faster"), QKeySequence(Qt::Key_BracketRight), this, [this] {
        Play([](decode::ViewerModel& m, std::int64_t now) { m.ChangeSpeed(1, now); });
    });
    view->addAction(QStringLiteral("&Slower"), QKeySequence(Qt::Key_BracketLeft), this, [this] {
        Play([](decode::ViewerModel& m, std::int64_t now) { m.ChangeSpeed(-1, now); });
    });
    marksMenu_ = menuBar()->addMenu(QStringLiteral("&Marks"));
    marksMenu_->setObjectName(QStringLiteral("MarksMenu"));
    const auto step = [this](int direction) {
        model_.SetPlotWidth(chart_->axisRect()->width());
        ShowMarkStatus(model_.StepMark(direction));
        Apply();
    };
    marksMenu_->addAction(QStringLiteral("&Next Mark"), QKeySequence(Qt::Key_F2), this,
                          [step] { step(1); });
    marksMenu_->addAction(QStringLiteral("&Previous Mark"), QKeySequence(Qt::SHIFT | Qt::Key_F2),
                          this, [step] { step(-1); });
    marksMenu_->addSeparator();

    auto* client = new QWidget(this);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(6, 4, 6, 0);
    column->setSpacing(4);
    setCentralWidget(client);

    // The five values as the live labels show them, in the live labels' font.
    auto* values = new QHBoxLayout;
    values->setSpacing(24);
    const char* names[5] = {"CursorRPM", "CursorBatt", "CursorECT", "CursorMAT", "CursorPW"};
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        labels_[i] = new QLabel(client);
        labels_[i]->setObjectName(QString::fromLatin1(names[i]));
        labels_[i]->setFont(chart::ValueFont());
        labels_[i]->setTextFormat(Qt::PlainText);
        values->addWidget(labels_[i]);
    }
    values->addStretch(1);
    speed_ = new QLabel(client);
    speed_->setObjectName(QStringLiteral("PlaySpeed"));
    speed_->setTextFormat(Qt::PlainText);
    values->addWidget(speed_);
    unitChoice_ = new QComboBox(client);
    unitChoice_->setObjectName(QStringLiteral("XUnit"));
    unitChoice_->setSizeAdjustPolicy(QComboBox::AdjustToContents); // the name changes at load
    for (const char* choice : decode::UnitChoices) {
        unitChoice_->addItem(QString::fromLatin1(choice));
    }
    const QString secondsTip = QString::fromLatin1(decode::SecondsTip);
    unitChoice_->setItemData(1, secondsTip, Qt::ToolTipRole);
    unitChoice_->setToolTip(secondsTip);
    connect(unitChoice_, &QComboBox::activated, this,
            [this](int i) { SetUnit(i == 0 ? XUnit::Frames : XUnit::Seconds); });
    values->addWidget(unitChoice_);
    column->addLayout(values);

    detail_ = new QLabel(QString::fromLatin1(decode::ViewerHelp), client);
    detail_->setObjectName(QStringLiteral("CursorDetail"));
    detail_->setTextFormat(Qt::PlainText);
    detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(detail_);
    summary_ = new QLabel(Local(model_.LoadingSummary()), client);
    summary_->setObjectName(QStringLiteral("Summary"));
    summary_->setTextFormat(Qt::PlainText);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summary_->setWordWrap(true); // never wider than the window
    column->addWidget(summary_);

    chart_ = new QCustomPlot(client);
    chart_->setObjectName(QStringLiteral("ViewerChart"));
    chart_->setFocusPolicy(Qt::StrongFocus);
    column->addWidget(chart_, 1);

    QCustomPlot* c = chart_;
    const auto graphs = chart::Apply(c);
    for (std::size_t i = 0; i < traces_.size(); ++i) {
        traces_[i] = graphs[i];
        traces_[i]->setAdaptiveSampling(false); // the points are already one a pixel column
    }
    // A recording's X runs far beyond the live window's 150 frames, and in seconds has
    // decimals.
    c->xAxis->setNumberFormat(QStringLiteral("g"));
    c->xAxis->setNumberPrecision(10);
    c->xAxis->setLabelColor(chart::ToQColor(chart::Silver));
    c->xAxis->setLabel(Local(model_.AxisTitle()));
    // Rejected stretches: red strokes in the empty lane below zero.
    rejects_ = c->addGraph();
    rejects_->setName(QStringLiteral("rejected"));
    rejects_->setPen(QPen(RejectColour, 1));
    rejects_->setLineStyle(QCPGraph::lsImpulse);
    rejects_->setAdaptiveSampling(false);
    std::array<QPen, 6> pens;
    for (std::size_t i = 0; i < pens.size(); ++i) {
        pens[i] = traces_[i]->pen();
    }
    bars_ = new TraceBars(c->axisRect(), pens);

    cursorLine_ = new QCPItemStraightLine(c);
    cursorLine_->setPen(QPen(QColor(0, 255, 255), 1, Qt::DashLine));
    cursorLine_->setVisible(false);

    // The model moves the view; the chart's own interactions stay off, its rectangle is only
    // drawn.
    c->setInteractions({});
    connect(c->selectionRect(), &QCPSelectionRect::accepted, this, [this](const QRect& r) {
        model_.ZoomToPixels(PlotX(r.topLeft()), PlotX(r.bottomRight()));
        Apply();
    });
    connect(c->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this] { dirty_ = true; });
    connect(c, &QCustomPlot::beforeReplot, this, [this] { Fill(); });
    connect(c, &QCustomPlot::mousePress, this, [this](QMouseEvent* e) { OnPress(e); });
    connect(c, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { OnMove(e); });
    connect(c, &QCustomPlot::mouseRelease, this, [this](QMouseEvent* e) { OnRelease(e); });
    connect(c, &QCustomPlot::mouseWheel, this, [this](QWheelEvent* e) { OnWheel(e); });
    connect(c, &QCustomPlot::mouseDoubleClick, this, [this] { ShowAll(); });

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("LoadProgress"));
    progressBar_->setRange(0, 1000);
    progressBar_->setMaximumWidth(240);
    statusBar()->addPermanentWidget(progressBar_);
    statusBar()->showMessage(Local(model_.LoadingStatus()));
}

void CaptureViewer::Poll() {
    const decode::ViewerModel::Event event = model_.Poll();
    if (event.EndsLoading()) {
        FinishLoading(event);
        return;
    }
    if (event.what != Outcome::None) {
        FinishExport(event);
    }
    if (model_.Loading()) {
        progressBar_->setValue(static_cast<int>(model_.Fraction() * 1000));
    } else if (model_.Exporting()) {
        if (exportDialog_ != nullptr) {
            exportDialog_->setValue(static_cast<int>(model_.Fraction() * 1000));
        }
    } else {
        poll_.stop();
    }
}

void CaptureViewer::FinishLoading(const decode::ViewerModel::Event& event) {
    poll_.stop();
    progressBar_->hide();
    statusBar()->clearMessage();
    if (event.what == Outcome::AskLoadAgain) {
        const QString reason = Local(event.text);
        const bool again =
            AskLoadAgain
                ? AskLoadAgain(reason)
                : QMessageBox::question(this, windowTitle(),
                                        Local(decode::ViewerModel::LoadAgainQuestion(event.text)),
                                        QMessageBox::Yes | QMessageBox::No,
                                        QMessageBox::Yes) == QMessageBox::Yes;
        if (again) {
            StartLoading();
        } else {
            close();
        }
        return;
    }
    if (event.what == Outcome::Refused) {
        close();
        ShowErrorDisplay(Local(event.text));
        return;
    }
    exportAction_->setEnabled(true);
    unitChoice_->setItemText(1, Local(model_.UnitChoice(XUnit::Seconds)));
    const QString tip = Local(model_.UnitTip());
    unitChoice_->setItemData(1, tip, Qt::ToolTipRole);
    unitChoice_->setToolTip(tip);
    UseUnitTicks();
    ListMarks();
    ShowSummary();
    ShowAll();
    follow_.start();
    chart_->setFocus(); // the keys are the chart's, not the unit chooser's
    emit Loaded();
}

void CaptureViewer::ShowSummary() {
    const QLocale locale;
    summary_->setText(Local(model_.SummaryText([&locale](std::uint64_t n) {
        return locale.toString(static_cast<qulonglong>(n)).toLocal8Bit().toStdString();
    })));
}

void CaptureViewer::SetUnit(XUnit unit) {
    model_.SetUnit(unit);
    unitChoice_->setCurrentIndex(unit == XUnit::Frames ? 0 : 1);
    UseUnitTicks();
    Apply();
}

void CaptureViewer::UseUnitTicks() {
    chart_->xAxis->setLabel(Local(model_.AxisTitle()));
    const std::optional<double> origin = model_.TickOrigin();
    if (origin) {
        chart_->xAxis->setTicker(QSharedPointer<ClockTicker>::create(*origin));
    } else {
        chart_->xAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    }
    dirty_ = true;
}

void CaptureViewer::FollowFile() {
    std::string why;
    switch (model_.Follow(&why)) {
    case decode::ViewerModel::Growth::Same:
        return;
    case decode::ViewerModel::Growth::Refused:
        follow_.stop();
        statusBar()->showMessage(Local("No longer following: " + why + " (F5 loads it anew)"));
        return;
    case decode::ViewerModel::Growth::Changed:
        if (marksMenu_->actions().size() != 3 + static_cast<qsizetype>(model_.Marks().size())) {
            ListMarks();
        }
        unitChoice_->setItemText(1, Local(model_.UnitChoice(XUnit::Seconds)));
        ShowSummary();
        dirty_ = true;
        Apply();
        return;
    }
}

void CaptureViewer::Reload() {
    if (model_.Loading() || model_.Exporting()) {
        return;
    }
    follow_.stop();
    exportAction_->setEnabled(false);
    statusBar()->showMessage(Local(model_.LoadingStatus()));
    StartLoading();
}

void CaptureViewer::ListMarks() {
    for (QAction* action : markActions_) {
        marksMenu_->removeAction(action);
        delete action;
    }
    markActions_.clear();
    const auto marks = model_.Marks();
    for (std::size_t m = 0; m < marks.size(); ++m) {
        QAction* action = marksMenu_->addAction(Local(marks[m].text), this, [this, m] {
            model_.SetPlotWidth(chart_->axisRect()->width());
            ShowMarkStatus(model_.GoToMark(m));
            Apply();
        });
        markActions_.append(action);
    }
    if (marks.empty()) {
        QAction* none = marksMenu_->addAction(QStringLiteral("(no marks in this capture)"));
        none->setEnabled(false);
        markActions_.append(none);
    }
}

void CaptureViewer::ShowMarkStatus(const std::string& text) {
    statusBar()->showMessage(Local(text));
}

void CaptureViewer::ShowAll() {
    model_.ShowAll();
    Apply();
}

void CaptureViewer::ShowRange(double lo, double hi) {
    model_.ShowRange(lo, hi);
    Apply();
}

void CaptureViewer::SetCursorFrame(std::uint64_t frame) {
    model_.SetPlotWidth(chart_->axisRect()->width());
    model_.SetCursorFrame(frame);
    Apply();
}

void CaptureViewer::Play(void (*act)(decode::ViewerModel&, std::int64_t)) {
    if (!model_.Index()) {
        return;
    }
    model_.SetPlotWidth(chart_->axisRect()->width());
    const std::optional<std::uint64_t> before = model_.CursorFrame();
    const bool playing = model_.Playing();
    act(model_, steady_.elapsed());
    if (model_.CursorFrame() != before || model_.Playing() != playing) {
        Apply();
    } else {
        speed_->setText(Local(model_.SpeedText()));
    }
}

void CaptureViewer::Apply() {
    if (!model_.Index()) {
        return;
    }
    speed_->setText(Local(model_.SpeedText()));
    if (model_.Playing() != play_.isActive()) {
        model_.Playing() ? play_.start() : play_.stop();
    }
    chart_->xAxis->setRange(model_.Lo(), model_.Hi());
    if (model_.CursorFrame()) {
        const double x = model_.CursorX();
        cursorLine_->point1->setCoords(x, 0);
        cursorLine_->point2->setCoords(x, 1);
        cursorLine_->setVisible(true);
        ShowReadout();
    }
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

void CaptureViewer::Fill() {
    const int width = chart_->axisRect()->width();
    if (!model_.Index() || (!dirty_ && width == filledWidth_)) {
        return;
    }
    dirty_ = false;
    filledWidth_ = width;
    model_.SetPlotWidth(width);
    const decode::View view = model_.Picture();
    for (std::size_t t = 0; t < traces_.size(); ++t) {
        QVector<QCPGraphData> points;
        points.reserve(static_cast<qsizetype>(view.points[t].size()));
        for (const decode::Point& p : view.points[t]) {
            points.append(QCPGraphData(p.x, p.y));
        }
        traces_[t]->data()->set(points, true);
        bars_->columns[t] = view.columns[t];
    }
    QVector<QCPGraphData> marks;
    marks.reserve(static_cast<qsizetype>(view.rejects.size()));
    for (double x : view.rejects) {
        marks.append(QCPGraphData(x, chart::LeftAxisMinimum));
    }
    rejects_->data()->set(marks, true);
    ShowJournal(view);
}

void CaptureViewer::ShowJournal(const decode::View& view) {
    for (QCPAbstractItem* item : journalItems_) {
        chart_->removeItem(item);
    }
    journalItems_.clear();
    const auto place = [](QCPItemPosition* at, double x, double share) {
        at->setTypeX(QCPItemPosition::ptPlotCoords);
        at->setTypeY(QCPItemPosition::ptAxisRectRatio);
        at->setCoords(x, share);
    };
    const auto label = [&](const QString& text, double x, double share, const QColor& colour) {
        auto* t = new QCPItemText(chart_);
        place(t->position, x, share);
        t->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        t->setPadding(QMargins(3, 1, 3, 1));
        t->setColor(colour);
        t->setText(text);
        t->setClipToAxisRect(true);
        journalItems_.append(t);
    };
    for (const decode::Band& b : view.bands) {
        const QColor colour =
            chart::ToQColor(chart::BandColour(b.kind == JournalSpell::Kind::LineLost));
        auto* r = new QCPItemRect(chart_);
        place(r->topLeft, b.from, 0);
        place(r->bottomRight, b.to, 1);
        r->setPen(QPen(colour, 1));
        r->setBrush(QBrush(colour, Qt::BDiagPattern));
        journalItems_.append(r);
        label(Local(b.text), b.from, 0.01, colour);
    }
    const QColor markColour = chart::ToQColor(chart::MarkColour);
    for (const decode::MarkLine& m : view.marks) {
        auto* line = new QCPItemLine(chart_);
        place(line->start, m.x, 0);
        place(line->end, m.x, 1);
        line->setPen(QPen(markColour, 1));
        journalItems_.append(line);
        label(Local(m.note.empty() ? m.number : m.number + ": " + m.note), m.x, 0.06, markColour);
    }
}

// Pixels from the plot's left edge, where the model counts them.
double CaptureViewer::PlotX(const QPointF& at) const {
    return at.x() - chart_->axisRect()->left();
}

void CaptureViewer::OnPress(QMouseEvent* event) {
    pressedAt_ = event->pos();
    model_.SetPlotWidth(chart_->axisRect()->width());
    // Ctrl turns a drag from panning into a zoom rectangle.
    const bool rectangle = (event->modifiers() & Qt::ControlModifier) != 0;
    chart_->setSelectionRectMode(rectangle ? QCP::srmCustom : QCP::srmNone);
    if (!rectangle && event->button() == Qt::LeftButton) {
        model_.StartDrag(PlotX(event->position()));
    }
}

void CaptureViewer::OnMove(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) == 0 || chart_->selectionRect()->isActive()) {
        return;
    }
    model_.DragTo(PlotX(event->position()));
    Apply();
}

void CaptureViewer::OnRelease(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton ||
        (event->pos() - pressedAt_).manhattanLength() > QApplication::startDragDistance()) {
        return;
    }
    model_.Click(PlotX(event->position()));
    Apply();
}

void CaptureViewer::OnWheel(QWheelEvent* event) {
    model_.SetPlotWidth(chart_->axisRect()->width());
    model_.Wheel(PlotX(event->position()), event->angleDelta().y() / 120.0);
    Apply();
}

void CaptureViewer::ShowReadout() {
    const auto reading = model_.CursorReading();
    if (!reading) {
        return;
    }
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        labels_[i]->setText(Latin1(reading->labels[i]));
    }
    detail_->setText(Latin1(reading->detail));
}

void CaptureViewer::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        model_.SetPlotWidth(chart_->axisRect()->width());
        model_.StepCursor(event->key() == Qt::Key_Left ? -1 : 1);
        Apply();
        return;
    case Qt::Key_Home:
        ShowAll();
        return;
    default:
        QMainWindow::keyPressEvent(event);
    }
}

void CaptureViewer::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LocaleChange) {
        ReadLocale();
        ShowReadout();
    }
    QMainWindow::changeEvent(event);
}

void CaptureViewer::AskExport() {
    if (!model_.Index() || model_.Exporting()) {
        return;
    }
    const std::string question = model_.ExportQuestion();
    bool visibleOnly = false;
    if (!question.empty()) {
        QMessageBox ask(QMessageBox::Question, QStringLiteral("Export CSV"), Local(question),
                        QMessageBox::Cancel, this);
        QAbstractButton* whole =
            ask.addButton(QStringLiteral("Whole Capture"), QMessageBox::AcceptRole);
        QAbstractButton* visible =
            ask.addButton(QStringLiteral("Frames in View"), QMessageBox::AcceptRole);
        ask.exec();
        if (ask.clickedButton() != whole && ask.clickedButton() != visible) {
            return;
        }
        visibleOnly = ask.clickedButton() == visible;
    }
    const QString suggested = QDir::current().filePath(Local(model_.SuggestedCsvName()));
    const QString target =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), suggested,
                                     QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (target.isEmpty()) {
        return;
    }
    ExportTo(target, visibleOnly);
    if (!model_.Exporting()) {
        return;
    }
    exportDialog_ = new QProgressDialog(QStringLiteral("Writing %1").arg(target),
                                        QStringLiteral("Cancel"), 0, 1000, this);
    exportDialog_->setWindowModality(Qt::WindowModal);
    exportDialog_->setMinimumDuration(300);
    exportDialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(exportDialog_, &QProgressDialog::canceled, this, [this] { model_.CancelExport(); });
}

void CaptureViewer::ExportTo(const QString& path, bool visibleOnly) {
    if (!model_.Index() || model_.Exporting()) {
        return;
    }
    const std::string refusal =
        model_.StartExport(QFile::encodeName(path).toStdString(), visibleOnly);
    if (!refusal.empty()) {
        const QString text = Local(refusal);
        emit Exported(false, text);
        ShowErrorDisplay(text);
        return;
    }
    statusBar()->showMessage(Local(model_.WritingStatus()));
    poll_.start(PollMs);
}

void CaptureViewer::FinishExport(const decode::ViewerModel::Event& event) {
    if (exportDialog_ != nullptr) {
        exportDialog_->close();
        exportDialog_ = nullptr;
    }
    statusBar()->clearMessage();
    const QString text = Local(event.text);
    if (event.what == Outcome::ExportFailed) {
        emit Exported(false, text);
        ShowErrorDisplay(text);
        return;
    }
    statusBar()->showMessage(text);
    emit Exported(event.what == Outcome::Exported, text);
}

} // namespace vemor
