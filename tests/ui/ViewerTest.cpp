// The capture viewer beside the live window: what its cursor reads and its summary says
// against the decoder's own CSV and counts, export, refusals, and moving through a capture.
#include "UiKit.h"

#include "CaptureViewer.h"
#include "SystemLocale.h"

#include "../capture/GoldenCaptures.h"
#include "../capture/TestFiles.h"
#include "../support/Decoded.h"

#include "vemor/capture/Index.h"
#include "vemor/capture/View.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>
#include <QWheelEvent>
#include <qcustomplot.h>

namespace vemor::uitest {
namespace {

using decode::XUnit;
using decode::testing::GoldenCaptures;
using decode::testing::RandomCapture;
using vemor::testing::Decoded;

class Viewer : public WindowTest {
protected:
    void TearDown() override {
        CaptureViewer::CloseAll();
        WindowTest::TearDown();
    }
    CaptureViewer* Open(const std::string& name, const Bytes& capture) {
        WriteFile(name, capture);
        return CaptureViewer::Open(QString::fromStdString(name));
    }
    bool Loaded(CaptureViewer* v) {
        return WaitFor([v] { return v->Index() != nullptr; }, 10000);
    }
    static QString Text(CaptureViewer* v, const char* name) {
        return v->findChild<QLabel*>(QString::fromLatin1(name))->text();
    }
    static QString WithSeparator(std::string number) {
        std::replace(number.begin(), number.end(), '.', SystemDecimalSeparator());
        return QString::fromStdString(number);
    }
};

// Every sample open at once, beside the live window: the labels show what the cursor reads,
// the decoder's row for that frame, and the summary the decoder's counts in the locale's
// digits. The model's own test reads many more frames.
TEST_F(Viewer, CursorAndSummaryReadWhatTheDecoderWrites) {
    struct Sample {
        std::string name;
        Bytes bytes;
        CaptureViewer* viewer = nullptr;
    };
    std::vector<Sample> samples;
    for (auto& g : GoldenCaptures()) {
        samples.push_back({g.name, std::move(g.bytes)});
    }
    samples.push_back({"random", RandomCapture(5, 3000)});
    for (Sample& s : samples) {
        s.viewer = Open(s.name, s.bytes);
    }
    for (Sample& s : samples) {
        SCOPED_TRACE(s.name);
        ASSERT_TRUE(Loaded(s.viewer));
        const auto info = decode::testing::Split(Decoded(s.bytes, {.info = true}), '\n');
        const QString summary = Text(s.viewer, "Summary");
        const QLocale locale;
        for (const std::string& line : info) {
            const std::string key = line.substr(0, line.find(':'));
            const std::string value = line.substr(line.find(':') + 2);
            const std::map<std::string, QString> shown = {
                {"start", QStringLiteral("Start ")},
                {"stop", QStringLiteral("Stop ")},
                {"frames", QStringLiteral("Frames ")},
                {"dropped", QStringLiteral("Rejected stretches ")},
                {"dropped_bytes", QStringLiteral("Dropped bytes ")},
                {"partial_start_bytes", QStringLiteral("Partial frames: ")},
                {"partial_end_bytes", QStringLiteral("bytes at the start, ")}};
            if (shown.count(key) == 0 || (key == "stop" && value.empty())) {
                continue;
            }
            const QString number = key == "start" || key == "stop"
                                       ? QString::fromStdString(value)
                                       : locale.toString(std::stoull(value));
            EXPECT_TRUE(summary.contains(shown.at(key) + number + QLatin1Char(' ')) ||
                        summary.endsWith(shown.at(key) + number))
                << key << " " << value << " in " << summary.toStdString();
        }
        const auto rows = decode::testing::Rows(Decoded(s.bytes));
        for (std::size_t f = 0; f < rows.size(); f += rows.size() / 4 + 1) {
            const auto& row = rows[f];
            s.viewer->SetCursorFrame(f);
            const std::string rpm = row.at("rpm") == "0" ? " 0" : row.at("rpm");
            EXPECT_EQ(Text(s.viewer, "CursorRPM"), QString::fromStdString(rpm + " RPM"));
            EXPECT_EQ(Text(s.viewer, "CursorBatt"),
                      WithSeparator(row.at("battery_v")) + QStringLiteral(" V Batt"));
            EXPECT_EQ(Text(s.viewer, "CursorECT"),
                      QString::fromStdString(row.at("coolant_c")) + QStringLiteral(" °C CLT"));
            EXPECT_EQ(Text(s.viewer, "CursorMAT"),
                      QString::fromStdString(row.at("intake_c")) + QStringLiteral(" °C IAT"));
            EXPECT_EQ(Text(s.viewer, "CursorPW"),
                      WithSeparator(row.at("pulse_width")) + QStringLiteral(" PW "));
            const QString detail = Text(s.viewer, "CursorDetail");
            const std::pair<const char*, const char*> traces[] = {
                {"MAP", "map"}, {"O2", "o2"}, {"TPS", "tps"}, {"byte14", "byte14"}};
            for (const auto& [shown, column] : traces) {
                const std::string part = std::string(shown) + " " + row.at(column) + " ";
                EXPECT_TRUE(detail.contains(QString::fromStdString(part)))
                    << part << " in " << detail.toStdString();
            }
            EXPECT_TRUE(detail.endsWith(QStringLiteral("frame %1   offset %2   time %3 s")
                                            .arg(QString::fromStdString(row.at("frame")),
                                                 QString::fromStdString(row.at("offset")),
                                                 WithSeparator(row.at("time_s")))))
                << detail.toStdString();
        }
    }
    EXPECT_TRUE(Form1->isVisible());
}

TEST_F(Viewer, ExportWritesTheDecoderCsvOfTheWholeCaptureOrOfTheFramesInView) {
    const Bytes capture = RandomCapture(9, 2000);
    CaptureViewer* v = Open("TMP1.$$$", capture);
    ASSERT_TRUE(Loaded(v));
    const std::string csv = Decoded(capture);
    const auto lines = decode::testing::Split(csv, '\n');
    struct Case {
        std::uint64_t first, last; // frames in view
        bool visibleOnly;
    };
    // The stretches and units are the model's test; here the window writes what it shows.
    for (XUnit unit : {XUnit::Seconds}) {
        v->SetUnit(unit);
        for (const Case& c : {Case{0, 1999, false}, Case{100, 160, true}}) {
            v->ShowRange(decode::FrameX(*v->Index(), c.first, unit),
                         decode::FrameX(*v->Index(), c.last, unit));
            std::string want = csv;
            if (c.visibleOnly) {
                want = lines.at(0) + "\n";
                for (std::uint64_t f = c.first; f <= c.last; ++f) {
                    want += lines.at(f + 1) + "\n";
                }
            }
            v->ExportTo(QStringLiteral("out.csv"), c.visibleOnly);
            ASSERT_TRUE(WaitFor([v] { return !v->Exporting(); }, 10000));
            EXPECT_EQ(ReadText("out.csv"), want)
                << c.first << ".." << c.last << (c.visibleOnly ? " in view" : " whole");
        }
    }
    // Never over the capture itself.
    v->ExportTo(QStringLiteral("./TMP1.$$$"), false);
    EXPECT_FALSE(v->Exporting());
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].text.find("that is the capture shown"), std::string::npos);
    EXPECT_EQ(ReadBytes("TMP1.$$$"), capture);
}

TEST_F(Viewer, WhatIsNotACaptureIsRefusedWithItsReason) {
    WriteFile("short", std::string(15, '1'));
    WriteFile("text.csv", std::string(decode::CsvHeader) + "\n");
    std::filesystem::create_directory("folder");
    struct Case {
        std::string path;
        std::string reason;
    };
    for (const Case& c : {Case{"short", "file is shorter than the 16-byte header"},
                          Case{"text.csv", "not a capture file: the header's start time "
                                           "\"frame,of\" is not a time text"},
                          Case{"folder", "Is a directory"}, Case{"/dev/zero", "not a regular file"},
                          Case{"missing", "No such file or directory"}}) {
        errors_.clear();
        QPointer<CaptureViewer> v = CaptureViewer::Open(QString::fromStdString(c.path));
        ASSERT_TRUE(WaitFor([&] { return !errors_.empty(); }));
        EXPECT_EQ(errors_.at(0).text,
                  "Cannot show " + c.path + " as a capture: " + c.path + ": " + c.reason + ".");
        EXPECT_TRUE(WaitFor([&] { return v.isNull(); })) << "the refused viewer stays open";
    }
}

// File > Open Capture... of the live window: the dialog starts in the working folder with
// the captures' filter first, and the chosen file opens in a viewer of its own.
TEST_F(Viewer, OpenCaptureFromTheMonitorsMenu) {
    const Bytes capture = RandomCapture(25, 300);
    WriteFile("TMP4.$$$", capture);
    QStringList filters;
    QString folder;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        folder = dialog->directory().absolutePath();
        dialog->selectFile(QStringLiteral("TMP4.$$$"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    Form1->OpenCapture1->trigger();
    EXPECT_EQ(folder, QDir::currentPath());
    ASSERT_FALSE(filters.isEmpty());
    EXPECT_EQ(filters.front(), QStringLiteral("Captures (TMP*.$$$)"));
    EXPECT_TRUE(filters.contains(QStringLiteral("All files (*)")));
    CaptureViewer* v = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        v = v != nullptr ? v : qobject_cast<CaptureViewer*>(w);
    }
    ASSERT_NE(v, nullptr);
    ASSERT_TRUE(Loaded(v));
    EXPECT_EQ(QFileInfo(v->Path()).fileName(), QStringLiteral("TMP4.$$$"));
    EXPECT_EQ(v->Index()->Frames(), 300u);
}

// Moving through a capture: clicks and arrow keys place the cursor, the wheel zooms around
// the mouse, a drag pans, Ctrl and a drag zoom to the rectangle, a double-click and Home
// show everything.
TEST_F(Viewer, MouseAndKeysMoveThroughTheCapture) {
    const Bytes capture = RandomCapture(21, 4000);
    CaptureViewer* v = Open("TMP1.$$$", capture);
    ASSERT_TRUE(Loaded(v));
    QCustomPlot* chart = v->Chart();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(v));
    const decode::CaptureIndex& index = *v->Index();
    const double full = decode::FullWidth(index, XUnit::Frames);
    auto range = [chart] { return chart->xAxis->range(); };
    auto pixel = [chart](double x) { return static_cast<int>(chart->xAxis->coordToPixel(x)); };
    const int y = static_cast<int>(chart->yAxis->coordToPixel(100));
    auto send = [chart](QEvent::Type type, QPoint at, Qt::MouseButtons buttons,
                        Qt::KeyboardModifiers modifiers = {}) {
        QMouseEvent e(type, at, chart->mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      modifiers);
        QApplication::sendEvent(chart, &e);
    };
    auto drag = [&](int fromX, int toX, Qt::KeyboardModifiers modifiers) {
        send(QEvent::MouseButtonPress, {fromX, y}, Qt::LeftButton, modifiers);
        for (int step = 1; step <= 4; ++step) {
            send(QEvent::MouseMove, {fromX + (toX - fromX) * step / 4, y}, Qt::LeftButton,
                 modifiers);
        }
        send(QEvent::MouseButtonRelease, {toX, y}, Qt::NoButton, modifiers);
        QApplication::processEvents();
    };

    EXPECT_DOUBLE_EQ(range().lower, 0);
    EXPECT_DOUBLE_EQ(range().upper, full);

    const int clickX = pixel(1234);
    QTest::mouseClick(chart, Qt::LeftButton, {}, {clickX, y});
    const auto clicked =
        decode::FrameNear(index, chart->xAxis->pixelToCoord(clickX), XUnit::Frames);
    EXPECT_EQ(v->CursorFrame(), clicked);
    QTest::keyClick(chart, Qt::Key_Right);
    QTest::keyClick(chart, Qt::Key_Right);
    QTest::keyClick(chart, Qt::Key_Left);
    EXPECT_EQ(v->CursorFrame(), clicked + 1);

    const QPoint at(pixel(3000), y);
    const double before = chart->xAxis->pixelToCoord(at.x());
    QWheelEvent wheel(at, chart->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(chart, &wheel);
    EXPECT_LT(range().size(), full * 0.9);
    EXPECT_NEAR(chart->xAxis->pixelToCoord(at.x()), before, range().size() / 100)
        << "the wheel zooms around the mouse";

    v->ShowRange(1000, 2000);
    drag(pixel(1500), pixel(1600), {});
    EXPECT_NEAR(range().lower, 900, 5);
    EXPECT_NEAR(range().size(), 1000, 1e-6);

    drag(pixel(1100), pixel(1300), Qt::ControlModifier);
    EXPECT_NEAR(range().lower, 1100, 5);
    EXPECT_NEAR(range().upper, 1300, 5);
    EXPECT_EQ(v->CursorFrame(), clicked + 1) << "a drag is no click";

    QTest::mouseDClick(chart, Qt::LeftButton, {}, {pixel(1200), y});
    EXPECT_DOUBLE_EQ(range().size(), full);
    v->ShowRange(1000, 2000);
    QTest::keyClick(chart, Qt::Key_Home);
    EXPECT_DOUBLE_EQ(range().size(), full);

    // The arrow keys carry the view along at its edge.
    v->ShowRange(1000, 1100);
    v->SetCursorFrame(1099);
    QTest::keyClick(chart, Qt::Key_Right);
    EXPECT_EQ(v->CursorFrame(), 1100u);
    EXPECT_GT(range().upper, 1100);

    // In seconds the chart shows the same frames, where each lies at its offset / 6250.
    v->ShowRange(200, 400);
    v->SetCursorFrame(300);
    v->SetUnit(XUnit::Seconds);
    EXPECT_DOUBLE_EQ(range().lower, static_cast<double>(index.End(200)) / 6250);
    EXPECT_DOUBLE_EQ(range().upper, static_cast<double>(index.End(400)) / 6250);
    EXPECT_EQ(chart->xAxis->label(), QStringLiteral("seconds from the start (offset / 6250)"));
}

// Each trace at its value in its colour, zoomed out (one bar a pixel column) and zoomed in
// (a line through the frames).
TEST_F(Viewer, TracesAreDrawnAtTheirValuesInTheirColours) {
    using namespace byte_pos;
    // The bytes of the six traces, in their order.
    const std::pair<int, int> bytes[] = {{Map, 200}, {Rpm, 96}, {PulseWidth, 120},
                                         {O2, 80},   {Tps, 40}, {Byte14, 10}};
    const Bytes capture =
        Cat({decode::testing::Header("14:03:07", "14:05:11"),
             decode::testing::Sample({bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5]})
                 .Line(20000)});
    CaptureViewer* v = Open("TMP1.$$$", capture);
    ASSERT_TRUE(Loaded(v));
    QCustomPlot* chart = v->Chart();
    for (double shown : {20000.0, 100.0}) {
        SCOPED_TRACE(shown);
        v->ShowRange(5000, 5000 + shown);
        chart->replot(QCustomPlot::rpImmediateRefresh);
        const QImage image = chart->toPixmap().toImage();
        const int x = static_cast<int>(chart->xAxis->coordToPixel(5000 + shown / 2));
        for (int t = 0; t < 6; ++t) {
            const double value = decode::TraceValue(t, static_cast<std::uint8_t>(bytes[t].second));
            const int y = static_cast<int>(std::lround(chart->yAxis->coordToPixel(value)));
            EXPECT_EQ(image.pixelColor(x, y), chart->graph(t)->pen().color())
                << "trace " << t << " at " << value;
        }
    }
}

// With a journal: the unit is named time of day and ticks in it, and the Marks menu lists
// the marks and moves the cursor to them.
TEST_F(Viewer, TheMarksMenuFindsTheJournalsMarksTheAxisTellsTheTimeAndSpacePlays) {
    const auto [capture, journal] = decode::testing::OutageCapture();
    WriteFile("TMP1.$$$.txt", journal);
    CaptureViewer* v = Open("TMP1.$$$", capture);
    ASSERT_TRUE(Loaded(v));
    EXPECT_EQ(v->findChild<QComboBox*>(QStringLiteral("XUnit"))->itemText(1),
              QStringLiteral("X in time of day"));
    v->SetUnit(XUnit::Seconds);
    v->Chart()->replot();
    const QVector<QString> ticks = v->Chart()->xAxis->tickVectorLabels();
    ASSERT_FALSE(ticks.isEmpty());
    EXPECT_TRUE(ticks.front().startsWith(QStringLiteral("12:00:"))) << ticks.front().toStdString();

    const QList<QAction*> items =
        v->findChild<QMenu*>(QStringLiteral("MarksMenu"))->actions(); // next, previous, -, marks
    ASSERT_EQ(items.size(), 5);
    const auto& marks = v->Index()->Journal()->Marks();
    for (const auto& [item, mark] : {std::pair{0, 0}, {4, 1}, {1, 0}}) {
        items[item]->trigger();
        EXPECT_EQ(v->CursorFrame(),
                  decode::MarkFrame(*v->Index(), marks[static_cast<std::size_t>(mark)]));
        EXPECT_TRUE(v->statusBar()->currentMessage().startsWith(
            QStringLiteral("Mark %1 at ").arg(mark + 1)));
    }
    // Space plays from the cursor, ] doubles the speed, and the cursor moves on its own.
    const auto from = v->CursorFrame();
    QTest::keyClick(v->Chart(), Qt::Key_Space);
    QTest::keyClick(v->Chart(), Qt::Key_BracketRight);
    EXPECT_EQ(Text(v, "PlaySpeed"), QStringLiteral("Playing at 2x"));
    EXPECT_TRUE(WaitFor([&] { return v->CursorFrame() > from; }, 5000));
}

} // namespace
} // namespace vemor::uitest
