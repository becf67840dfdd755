#include "CaptureViewer.h"

#include "ChartStyle.h"
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
#include <QStatusBar>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace vemor {

namespace {

using decode::XUnit;

constexpr int PollMs = 30;
// The narrowest view, in frames: zooming further shows nothing more.
constexpr double FewestFrames = 10;
constexpr int CursorMarginPx = 2;

const QColor RejectColour(255, 64, 64);

QList<CaptureViewer*>& Viewers() {
    static QList<CaptureViewer*> viewers; // GUI thread only
    return viewers;
}

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString HeaderField(const decode::Summary& counts, std::size_t offset, std::size_t width) {
    const std::string text = decode::HeaderText(counts.header.data() + offset, width);
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QString Duration(std::uint64_t bodyBytes) {
    const std::uint64_t hundredths = bodyBytes * 100 / decode::LineBytesPerSecond;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(hundredths / 360000)
        .arg(hundredths / 6000 % 60, 2, 10, QLatin1Char('0'))
        .arg(hundredths / 100 % 60, 2, 10, QLatin1Char('0'))
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

} // namespace

CaptureViewer* CaptureViewer::Open(const QString& path) {
    auto* viewer = new CaptureViewer(path);
    viewer->show();
    return viewer;
}

void CaptureViewer::OpenWithDialog(QWidget* parent) {
    const QString path =
        QFileDialog::getOpenFileName(parent, QStringLiteral("Open Capture"), QDir::currentPath(),
                                     QStringLiteral("Captures (TMP*.$$$);;All files (*)"));
    if (!path.isEmpty()) {
        Open(path);
    }
}

void CaptureViewer::CloseAll() {
    const QList<CaptureViewer*> open = Viewers();
    qDeleteAll(open);
}

CaptureViewer::CaptureViewer(const QString& path) : path_(path) {
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing the monitor ends the program; a viewer left open does not keep it running.
    setAttribute(Qt::WA_QuitOnClose, false);
    Viewers().append(this);
    // The file as it was opened, wherever it goes meanwhile.
    viewedId_ = IdOf(QFile::encodeName(path).toStdString());
    ReadLocale();
    BuildWindow();
    connect(&poll_, &QTimer::timeout, this, &CaptureViewer::Poll);
    StartLoading();
}

void CaptureViewer::StartLoading() {
    const std::string file = QFile::encodeName(path_).toStdString();
    progressBar_->show();
    loading_ = std::make_unique<Background<decode::Loaded>>([file](decode::Progress& progress) {
        try {
            return decode::LoadCapture(file, &progress);
        } catch (const std::exception& e) { // never out of the thread, which would end us
            return decode::Loaded{{decode::Status::InputError, file + ": " + e.what()}, {}};
        }
    });
    poll_.start(PollMs);
}

CaptureViewer::~CaptureViewer() {
    Viewers().removeAll(this);
    // The threads stop before what they write into goes.
    exporting_.reset();
    loading_.reset();
}

void CaptureViewer::ReadLocale() {
    decimalSeparator_ = SystemDecimalSeparator();
}

void CaptureViewer::BuildWindow() {
    setObjectName(QStringLiteral("CaptureViewer"));
    setWindowTitle(QStringLiteral("%1 - Vemor").arg(QFileInfo(path_).fileName()));
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
    unitChoice_ = new QComboBox(client);
    unitChoice_->setObjectName(QStringLiteral("XUnit"));
    unitChoice_->addItem(QStringLiteral("X in frames"));
    unitChoice_->addItem(QStringLiteral("X in seconds"));
    const QString secondsTip =
        QStringLiteral("Seconds from the start: each frame's byte offset divided by 6250, the "
                       "line's bytes per second. Exact while the line was saturated.");
    unitChoice_->setItemData(1, secondsTip, Qt::ToolTipRole);
    unitChoice_->setToolTip(secondsTip);
    connect(unitChoice_, &QComboBox::activated, this,
            [this](int i) { SetUnit(i == 0 ? XUnit::Frames : XUnit::Seconds); });
    values->addWidget(unitChoice_);
    column->addLayout(values);

    detail_ = new QLabel(QStringLiteral("Click the chart to read a frame; the arrow keys step "
                                        "one frame, the wheel zooms, dragging pans, Ctrl and a "
                                        "dragged rectangle zoom in, Home shows everything."),
                         client);
    detail_->setObjectName(QStringLiteral("CursorDetail"));
    detail_->setTextFormat(Qt::PlainText);
    detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(detail_);
    summary_ = new QLabel(QStringLiteral("Loading %1...").arg(path_), client);
    summary_->setObjectName(QStringLiteral("Summary"));
    summary_->setTextFormat(Qt::PlainText);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
    c->xAxis->setLabel(QStringLiteral("frame"));
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

    c->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    c->axisRect()->setRangeDrag(Qt::Horizontal);
    c->axisRect()->setRangeZoom(Qt::Horizontal);
    c->axisRect()->setRangeZoomAxes(c->xAxis, nullptr);
    connect(c->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this] { OnRangeChanged(); });
    connect(c, &QCustomPlot::beforeReplot, this, [this] { Fill(); });
    connect(c, &QCustomPlot::mousePress, this, [this](QMouseEvent* e) { OnPress(e); });
    connect(c, &QCustomPlot::mouseRelease, this, [this](QMouseEvent* e) { OnRelease(e); });
    connect(c, &QCustomPlot::mouseDoubleClick, this, [this] { ShowAll(); });

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("LoadProgress"));
    progressBar_->setRange(0, 1000);
    progressBar_->setMaximumWidth(240);
    statusBar()->addPermanentWidget(progressBar_);
    statusBar()->showMessage(QStringLiteral("Loading %1").arg(QFileInfo(path_).fileName()));
}

void CaptureViewer::Poll() {
    if (loading_) {
        if (!loading_->Done()) {
            progressBar_->setValue(static_cast<int>(loading_->Fraction() * 1000));
            return;
        }
        FinishLoading();
    }
    if (exporting_) {
        if (!exporting_->Done()) {
            if (exportDialog_ != nullptr) {
                exportDialog_->setValue(static_cast<int>(exporting_->Fraction() * 1000));
            }
            return;
        }
        FinishExport();
    }
    poll_.stop();
}

void CaptureViewer::FinishLoading() {
    decode::Loaded loaded = std::move(loading_->Result());
    loading_.reset();
    progressBar_->hide();
    statusBar()->clearMessage();
    if (loaded.result.status == decode::Status::Changed) {
        const QString reason = QString::fromLocal8Bit(loaded.result.message.c_str());
        const bool again =
            AskLoadAgain ? AskLoadAgain(reason)
                         : QMessageBox::question(this, windowTitle(),
                                                 QStringLiteral("%1.\nLoad it again?").arg(reason),
                                                 QMessageBox::Yes | QMessageBox::No,
                                                 QMessageBox::Yes) == QMessageBox::Yes;
        if (again) {
            StartLoading();
        } else {
            close();
        }
        return;
    }
    if (loaded.result.status != decode::Status::Ok) {
        const QString reason = QString::fromLocal8Bit(loaded.result.message.c_str());
        close();
        ShowErrorDisplay(QStringLiteral("Cannot show %1 as a capture: %2").arg(path_, reason));
        return;
    }
    index_ = std::move(loaded.index);
    exportAction_->setEnabled(true);
    ShowSummary();
    ShowAll();
    emit Loaded();
}

void CaptureViewer::ShowSummary() {
    const decode::Summary& c = index_->Counts();
    const QLocale locale;
    const QString stop = HeaderField(c, CaptureStopOffset, CaptureStopLength);
    summary_->setText(
        QStringLiteral("Start %1   Stop %2   Frames %3   Rejected stretches %4   Dropped bytes "
                       "%5   Partial frames: %6 bytes at the start, %7 at the end   Duration %8 "
                       "at the line's rate")
            .arg(HeaderField(c, 0, CaptureStopOffset),
                 stop.isEmpty() ? QStringLiteral("(none: not finished)") : stop,
                 locale.toString(static_cast<qulonglong>(c.frames)),
                 locale.toString(static_cast<qulonglong>(c.dropped)),
                 locale.toString(static_cast<qulonglong>(c.DroppedBytes())),
                 locale.toString(static_cast<qulonglong>(c.partialStartBytes)),
                 locale.toString(static_cast<qulonglong>(c.PartialEndBytes())),
                 Duration(c.bodyBytes)));
}

void CaptureViewer::SetUnit(XUnit unit) {
    if (unit == unit_) {
        return;
    }
    const QCPRange range = chart_->xAxis->range();
    std::optional<std::pair<std::uint64_t, std::uint64_t>> shown;
    if (index_ && index_->Frames() > 0) {
        shown = {decode::FrameNear(*index_, range.lower, unit_),
                 decode::FrameNear(*index_, range.upper, unit_)};
    }
    unit_ = unit;
    unitChoice_->setCurrentIndex(unit == XUnit::Frames ? 0 : 1);
    chart_->xAxis->setLabel(unit == XUnit::Frames
                                ? QStringLiteral("frame")
                                : QStringLiteral("seconds from the start (offset / 6250)"));
    if (shown) {
        ShowRange(decode::FrameX(*index_, shown->first, unit),
                  decode::FrameX(*index_, shown->second, unit));
    } else {
        ShowAll();
    }
    if (cursorFrame_) {
        SetCursorFrame(*cursorFrame_);
    }
}

void CaptureViewer::ShowAll() {
    if (!index_) {
        return;
    }
    ShowRange(0, decode::FullWidth(*index_, unit_));
}

void CaptureViewer::ShowRange(double lo, double hi) {
    chart_->xAxis->setRange(lo, hi);
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

void CaptureViewer::OnRangeChanged() {
    dirty_ = true;
    if (clamping_ || !index_) {
        return;
    }
    // Kept on the capture with a little room at the ends, and some frames wide.
    const double full = decode::FullWidth(*index_, unit_);
    const double fewest =
        unit_ == XUnit::Frames
            ? FewestFrames
            : FewestFrames * FrameLength / static_cast<double>(decode::LineBytesPerSecond);
    const double pad = std::max(full * 0.02, fewest);
    QCPRange r = chart_->xAxis->range();
    double width = std::clamp(r.size(), fewest, full + 2 * pad);
    const double centre = std::clamp(r.center(), -pad + width / 2, full + pad - width / 2);
    if (std::abs(width - r.size()) > 1e-9 * width || std::abs(centre - r.center()) > 1e-9 * width) {
        clamping_ = true;
        chart_->xAxis->setRange(centre - width / 2, centre + width / 2);
        clamping_ = false;
    }
}

void CaptureViewer::Fill() {
    const int width = chart_->axisRect()->width();
    if (!index_ || (!dirty_ && width == filledWidth_)) {
        return;
    }
    dirty_ = false;
    filledWidth_ = width;
    const QCPRange r = chart_->xAxis->range();
    const decode::View view = decode::BuildView(*index_, unit_, r.lower, r.upper, width);
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
}

void CaptureViewer::OnPress(QMouseEvent* event) {
    pressedAt_ = event->pos();
    // Ctrl turns a drag from panning into a zoom rectangle.
    chart_->setSelectionRectMode((event->modifiers() & Qt::ControlModifier) ? QCP::srmZoom
                                                                            : QCP::srmNone);
}

void CaptureViewer::OnRelease(QMouseEvent* event) {
    if (!index_ || index_->Frames() == 0 || event->button() != Qt::LeftButton ||
        (event->pos() - pressedAt_).manhattanLength() > QApplication::startDragDistance()) {
        return;
    }
    const double x = chart_->xAxis->pixelToCoord(event->pos().x());
    SetCursorFrame(decode::FrameNear(*index_, x, unit_));
}

void CaptureViewer::SetCursorFrame(std::uint64_t frame) {
    if (!index_ || index_->Frames() == 0) {
        return;
    }
    frame = std::min(frame, index_->Frames() - 1);
    cursorFrame_ = frame;
    const double x = decode::FrameX(*index_, frame, unit_);
    cursorLine_->point1->setCoords(x, 0);
    cursorLine_->point2->setCoords(x, 1);
    cursorLine_->setVisible(true);
    // Keep it in view: the arrow keys may walk it off the edge.
    const QCPRange r = chart_->xAxis->range();
    const double margin = r.size() * CursorMarginPx / std::max(1, chart_->axisRect()->width());
    if (x < r.lower + margin || x > r.upper - margin) {
        ShowRange(x - r.size() / 2, x + r.size() / 2);
    }
    ShowReadout();
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

void CaptureViewer::StepCursor(int frames) {
    if (!index_ || index_->Frames() == 0) {
        return;
    }
    if (!cursorFrame_) {
        const QCPRange r = chart_->xAxis->range();
        SetCursorFrame(decode::FrameNear(*index_, r.center(), unit_));
        return;
    }
    const auto at = static_cast<std::int64_t>(*cursorFrame_) + frames;
    SetCursorFrame(static_cast<std::uint64_t>(std::max<std::int64_t>(0, at)));
}

void CaptureViewer::ShowReadout() {
    if (!cursorFrame_) {
        return;
    }
    const decode::Readout r = decode::ReadFrame(*index_, *cursorFrame_, decimalSeparator_);
    const std::string* texts[5] = {&r.labels.Rpm, &r.labels.Batt, &r.labels.Ect, &r.labels.Mat,
                                   &r.labels.Pw};
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        labels_[i]->setText(Latin1(*texts[i]));
    }
    QString detail;
    const char* names[6] = {"MAP", "RPM", "PW", "O2", "TPS", "byte14"};
    for (std::size_t t = 0; t < r.traces.size(); ++t) {
        detail += QStringLiteral("%1 %2   ").arg(QString::fromLatin1(names[t])).arg(r.traces[t]);
    }
    detail += QStringLiteral("frame %1   offset %2   time %3 s")
                  .arg(r.frame)
                  .arg(r.end)
                  .arg(Latin1(r.seconds));
    detail_->setText(detail);
}

void CaptureViewer::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
        StepCursor(-1);
        return;
    case Qt::Key_Right:
        StepCursor(1);
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
    if (!index_ || exporting_) {
        return;
    }
    const QCPRange r = chart_->xAxis->range();
    const auto [first, last] = decode::FramesIn(*index_, r.lower, r.upper, unit_);
    bool visibleOnly = false;
    if (first > 0 || last < index_->Frames()) {
        QMessageBox ask(QMessageBox::Question, QStringLiteral("Export CSV"),
                        QStringLiteral("Export the whole capture (%1 frames) or the frames in "
                                       "view (%2 to %3)?")
                            .arg(index_->Frames())
                            .arg(first)
                            .arg(last == 0 ? 0 : last - 1),
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
    const QString suggested =
        QDir::current().filePath(QFileInfo(path_).fileName() + QStringLiteral(".csv"));
    const QString target =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), suggested,
                                     QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (target.isEmpty()) {
        return;
    }
    ExportTo(target, visibleOnly);
    exportDialog_ = new QProgressDialog(QStringLiteral("Writing %1").arg(target),
                                        QStringLiteral("Cancel"), 0, 1000, this);
    exportDialog_->setWindowModality(Qt::WindowModal);
    exportDialog_->setMinimumDuration(300);
    exportDialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(exportDialog_, &QProgressDialog::canceled, this, [this] {
        if (exporting_) {
            exporting_->Progress().cancel = true;
        }
    });
}

void CaptureViewer::ExportTo(const QString& path, bool visibleOnly) {
    if (!index_ || exporting_) {
        return;
    }
    const std::string refusal = ExportRefusal(QFile::encodeName(path).toStdString(), viewedId_);
    if (!refusal.empty()) {
        const QString text = QStringLiteral("Cannot export the CSV to %1: %2. Choose another name")
                                 .arg(path, QString::fromLocal8Bit(refusal.c_str()));
        emit Exported(false, text);
        ShowErrorDisplay(text);
        return;
    }
    std::uint64_t first = 0;
    std::uint64_t last = index_->Frames();
    if (visibleOnly) {
        const QCPRange r = chart_->xAxis->range();
        std::tie(first, last) = decode::FramesIn(*index_, r.lower, r.upper, unit_);
    }
    exportPath_ = path;
    const decode::CaptureIndex* index = index_.get();
    const std::string file = QFile::encodeName(path).toStdString();
    exporting_ = std::make_unique<Background<decode::Result>>(
        [index, first, last, file](decode::Progress& progress) {
            try {
                return decode::ExportCsvFile(*index, first, last, file, &progress);
            } catch (const std::exception& e) {
                return decode::Result{decode::Status::OutputError, file + ": " + e.what()};
            }
        });
    statusBar()->showMessage(QStringLiteral("Writing %1").arg(path));
    poll_.start(PollMs);
}

void CaptureViewer::FinishExport() {
    const decode::Result result = exporting_->Result();
    exporting_.reset();
    if (exportDialog_ != nullptr) {
        exportDialog_->close();
        exportDialog_ = nullptr;
    }
    statusBar()->clearMessage();
    if (result.status == decode::Status::Ok) {
        const QString done = QStringLiteral("Wrote %1").arg(exportPath_);
        statusBar()->showMessage(done);
        emit Exported(true, done);
        return;
    }
    if (result.status == decode::Status::Cancelled) {
        const QString text =
            QStringLiteral("Export cancelled; %1 was not written").arg(exportPath_);
        statusBar()->showMessage(text);
        emit Exported(false, text);
        return;
    }
    const QString text = QStringLiteral("Cannot export the CSV: %1")
                             .arg(QString::fromLocal8Bit(result.message.c_str()));
    emit Exported(false, text);
    ShowErrorDisplay(text);
}

} // namespace vemor
