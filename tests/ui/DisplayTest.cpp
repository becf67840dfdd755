// What the operator sees of the frames: labels painted with the newest text, the live strip,
// stale values greyed, and the chart's zoom and scroll-back.
#include "UiKit.h"

#include "ChartStyle.h"
#include "StripChart.h"

#include <QLabel>
#include <QPainter>
#include <QStaticText>
#include <QWheelEvent>
#include <qcustomplot.h>

namespace vemor::uitest {
namespace {

using Display = WindowTest;

Bytes Frame(int rpm, int battery, int coolant, int pw) {
    using namespace byte_pos;
    return Payload()
        .Set({{Rpm, rpm},
              {Battery, battery},
              {Coolant, coolant},
              {Intake, coolant},
              {PulseWidth, pw}})
        .Line();
}

void Feed(const Bytes& line) {
    Form1->FeedBytes(line.data(), line.size());
}

// A label of the same font and size drawn alone with `text` on the window's ground, or, for
// one that reaches onto its panel's frame, on the panel as it is drawn there.
QImage Rendered(const QLabel* like, const QString& text) {
    QLabel label;
    label.setFont(like->font());
    label.setTextFormat(Qt::PlainText);
    label.setFixedSize(like->size());
    label.setText(text);
    label.setEnabled(like->isEnabled());
    QImage image(like->size(), QImage::Format_RGB32);
    image.fill(like->palette().color(QPalette::Window));
    if (like->geometry() != like->parentWidget()->contentsRect().intersected(like->geometry())) {
        like->parentWidget()->render(&image, QPoint(), QRegion(like->geometry()),
                                     QWidget::DrawWindowBackground);
    }
    label.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Feeds a frame when the window is about to paint a fold's texts, as the line does when a
// read completes between the fold and the paint.
class FrameBeforePaint : public QObject {
public:
    FrameBeforePaint() { Form1->installEventFilter(this); }
    Bytes frame;
    QString whenShown; // once LabelRPM shows this text
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::UpdateRequest && !frame.empty() &&
            Form1->LabelRPM->text() == whenShown) {
            const Bytes f = std::move(frame);
            frame.clear();
            Feed(f);
        }
        return false;
    }
};

TEST_F(Display, LabelsArePaintedWithTheNewestTextAfterEveryFoldWhileTheirWidthsChange) {
    // Texts of a different width at every frame: an engine idling across 1000 rpm, and the
    // widest and narrowest texts of the other labels.
    const Bytes frames[] = {Frame(79, 2, 0, 5), Frame(78, 200, 100, 255)};
    QLabel* const checked[] = {Form1->LabelRPM, Form1->LabelBatt, Form1->LabelECT, Form1->LabelMAT,
                               Form1->LabelPW};
    FrameBeforePaint between;
    for (int n = 0; n < 12; ++n) {
        SCOPED_TRACE(n);
        const Bytes& shown = frames[n % 2];
        const FrameTexts texts = LabelTexts(shown.data(), '.');
        between.frame = frames[(n + 1) % 2];
        between.whenShown = QString::fromLatin1(texts.Rpm.c_str());
        Feed(shown);
        ASSERT_TRUE(WaitFor([&] { return between.frame.empty(); }));
        const std::string want[] = {texts.Rpm, texts.Batt, texts.Ect, texts.Mat, texts.Pw};
        for (std::size_t i = 0; i < std::size(checked); ++i) {
            const QString text = QString::fromLatin1(want[i].c_str());
            EXPECT_EQ(checked[i]->text(), text);
            EXPECT_TRUE(OnScreen(checked[i]) == Rendered(checked[i], text))
                << checked[i]->objectName().toStdString() << " does not show " << want[i];
        }
    }
}

// Texts are drawn from characters and wordings laid out once: every text each label can show,
// with either separator, looks as the label itself draws it, also when shown again from the
// image kept of it.
TEST_F(Display, EveryLabelTextIsDrawnAsTheLabelLaysItOut) {
    const std::pair<QLabel*, Label> labels[] = {
        {Form1->LabelRPM, Label::RPM}, {Form1->LabelBatt, Label::Batt},
        {Form1->LabelECT, Label::ECT}, {Form1->LabelMAT, Label::MAT},
        {Form1->LabelPW, Label::PW},
    };
    for (char sep : {'.', ','}) {
        Form1->Display().SetDecimalSeparator(sep);
        for (const auto& [label, which] : labels) {
            for (int pass = 0; pass < 2; ++pass) {
                for (int b = 0; b < 256; b += pass + 1) {
                    const QString text = QString::fromLatin1(
                        LabelText(which, static_cast<std::uint8_t>(b), sep).c_str());
                    label->setText(text);
                    ASSERT_TRUE(label->grab().toImage().convertToFormat(QImage::Format_RGB32) ==
                                Rendered(label, text))
                        << label->objectName().toStdString() << " draws " << text.toStdString();
                }
            }
        }
    }
}

// Axis numbers in any notation, and words after figures, fall as the whole text laid out.
TEST(NumberTextTest, TextsFallAsLaidOutWhole) {
    const QString texts[] = {"17550",
                             "-3.5",
                             "1,25",
                             "1.2e+05",
                             "0 RPM",
                             " 0 RPM",
                             "12 PW ",
                             QString::fromLatin1("-40 \xB0"
                                                 "C CLT"),
                             "13.7 V Batt",
                             ""};
    QFont font = QApplication::font();
    for (const int points : {9, 14}) {
        font.setPointSize(points);
        NumberText drawer;
        drawer.SetFont(font);
        for (const QString& text : texts) {
            const auto draw = [&](const std::function<void(QPainter&)>& how) {
                QImage image(160, 40, QImage::Format_RGB32);
                image.fill(Qt::white);
                QPainter p(&image);
                p.setFont(font);
                how(p);
                return image;
            };
            QStaticText whole(text);
            whole.setTextFormat(Qt::PlainText);
            whole.prepare(QTransform(), font);
            const NumberText::Laid laid = drawer.Lay(text);
            EXPECT_EQ(laid.size.width(), whole.size().width()) << text.toStdString();
            EXPECT_TRUE(draw([&](QPainter& p) {
                            drawer.Draw(p, {3.5, 2}, laid);
                        }) == draw([&](QPainter& p) { p.drawStaticText(QPointF(3.5, 2), whole); }))
                << points << " pt: " << text.toStdString();
        }
    }
}

TEST_F(Display, LabelsFitEveryTextTheyCanShow) {
    for (char sep : {'.', ','}) {
        Form1->Display().SetDecimalSeparator(sep);
        const std::pair<QLabel*, Label> labels[] = {
            {Form1->LabelRPM, Label::RPM}, {Form1->LabelBatt, Label::Batt},
            {Form1->LabelECT, Label::ECT}, {Form1->LabelMAT, Label::MAT},
            {Form1->LabelPW, Label::PW},
        };
        for (const auto& [label, which] : labels) {
            const QSize fixed = label->size();
            EXPECT_EQ(label->minimumSize(), fixed);
            EXPECT_EQ(label->maximumSize(), fixed);
            for (int b = 0; b < 256; ++b) {
                label->setText(QString::fromLatin1(
                    LabelText(which, static_cast<std::uint8_t>(b), sep).c_str()));
                const QSize needed = label->sizeHint();
                EXPECT_LE(needed.width(), fixed.width()) << label->text().toStdString();
                EXPECT_LE(needed.height(), fixed.height());
            }
        }
    }
}

// The chart after folds of different sizes, each moving the image it has, looks exactly as
// the same chart drawn whole.
TEST_F(Display, StripMovedFoldByFoldEqualsTheChartDrawnWhole) {
    StripChart* strip = Form1->Display().Strip();
    PaintCount paints(strip);
    std::mt19937 rng(5);
    // Seven frames a fold is the line's rate at the window's paint interval: a tick label
    // comes fully into view in the middle of the new columns again and again.
    const std::pair<int, int> folds[] = {{1, 4}, {3, 4}, {7, 40}, {8, 4}, {40, 4}, {400, 4}};
    for (const auto& [perFold, count] : folds) {
        for (int fold = 0; fold < count; ++fold) {
            SCOPED_TRACE(::testing::Message() << perFold << " frames a fold, fold " << fold);
            const int before = paints.count;
            Feed(RandomFrames(perFold, rng));
            const std::int64_t newest = Form1->Display().History(0).Count() - 1;
            ASSERT_TRUE(WaitFor([&] { return strip->Right() == newest && paints.count > before; }));
            QTest::qWait(5); // the strip's neighbours paint in the same update
            ASSERT_TRUE(OnScreen(Form1->Chart1) ==
                        Form1->Chart1->grab().toImage().convertToFormat(QImage::Format_RGB32));
        }
    }
}

// The bottom axis's labels are drawn whole or not at all: as the strip moves, none is ever
// cut at the chart's left edge, where a cut label reads as another number.
TEST_F(Display, TickLabelsAreNeverCutAtTheChartsEdge) {
    StripChart* strip = Form1->Display().Strip();
    const QColor background = Form1->Chart1->grab().toImage().pixelColor(0, 0);
    const int band = Form1->Chart1->axisRect()->rect().bottom() + 1;
    int cut = 0;
    for (int fold = 0; fold < 80; ++fold) {
        Feed(VariedFrames(1, fold));
        const std::int64_t newest = Form1->Display().History(0).Count() - 1;
        ASSERT_TRUE(WaitFor([&] { return strip->Right() == newest; }));
        QTest::qWait(5);
        const QImage shot = OnScreen(Form1->Chart1);
        for (int y = band; y < band + 20 && y < shot.height(); ++y) {
            cut += shot.pixelColor(0, y) != background ? 1 : 0;
        }
    }
    EXPECT_EQ(cut, 0) << "label pixels at the chart's left edge";
}

TEST_F(Display, StripDrawsEachTraceInItsColourAtItsValue) {
    using namespace byte_pos;
    Feed(Payload() // RPM 56: 256 - 56 = 200
             .Set({{Map, 10}, {Rpm, 56}, {PulseWidth, 60}, {O2, 100}, {Tps, 140}, {Byte14, 180}})
             .Line(200));
    StripChart* strip = Form1->Display().Strip();
    ASSERT_TRUE(WaitFor([&] { return strip->Right() == 199; }));
    QTest::qWait(50);
    const QImage image = OnScreen(strip);
    const double values[] = {10, 200, 60, 100, 140, 180};
    for (std::size_t s = 0; s < std::size(values); ++s) {
        SCOPED_TRACE(s);
        const int row = qRound(Form1->Chart1->yAxis->coordToPixel(values[s])) -
                        Form1->Chart1->axisRect()->top();
        for (int column : {strip->width() / 3, strip->width() - 3}) {
            EXPECT_EQ(image.pixelColor(column, row), chart::ToQColor(chart::Traces()[s].Colour))
                << column;
        }
    }
}

TEST_F(Display, LostLineGreysTheLabelsUntilTheNextFrameAndItsReturnIsMarkedThere) {
    for (int n = 0; n < 10; ++n) {
        Feed(Varied(n).Line());
    }
    ASSERT_TRUE(WaitFor([] { return Form1->LabelRPM->text() != QStringLiteral("LabelRPM"); }));
    const QString before = Form1->LabelRPM->text();
    QLabel* const labels[] = {Form1->LabelRPM, Form1->LabelBatt, Form1->LabelECT, Form1->LabelMAT,
                              Form1->LabelPW};

    const auto shows = [](QLabel* l) {
        return l->grab().toImage().convertToFormat(QImage::Format_RGB32) == Rendered(l, l->text());
    };
    TMessage lost(WM_LINELOST, EIO, 10);
    QCoreApplication::sendEvent(Form1, &lost);
    for (QLabel* l : labels) {
        EXPECT_FALSE(l->isEnabled()) << l->objectName().toStdString();
        EXPECT_TRUE(shows(l)) << l->objectName().toStdString() << " greyed";
    }
    EXPECT_EQ(Form1->LabelRPM->text(), before);

    // The line back is no new value yet: the labels stay grey until the next accepted frame.
    TMessage back(WM_LINEBACK, 0, 10);
    QCoreApplication::sendEvent(Form1, &back);
    for (QLabel* l : labels) {
        EXPECT_FALSE(l->isEnabled()) << l->objectName().toStdString();
    }
    EXPECT_TRUE(Form1->Display().Lines().empty());
    Feed(Varied(10).Line());
    for (QLabel* l : labels) {
        EXPECT_TRUE(l->isEnabled()) << l->objectName().toStdString();
        EXPECT_TRUE(shows(l)) << l->objectName().toStdString();
    }
    Feed(Varied(11).Line());
    EXPECT_EQ(Form1->Display().Lines(), (std::deque<ChartLine>{{10, chart::LineKind::Outage}}));
    EXPECT_EQ(Form1->Chart1->itemCount(), 1);

    StripChart* strip = Form1->Display().Strip();
    ASSERT_TRUE(WaitFor([&] { return strip->Right() == 11; }));
    QTest::qWait(50);
    // X 10 is one frame left of the newest; the top rows hold no trace.
    const int column =
        strip->width() - 1 - qRound(strip->width() / static_cast<double>(VisibleXUnits));
    const QImage image = OnScreen(strip);
    const QColor marker = chart::LinePen(chart::LineKind::Outage).color();
    EXPECT_TRUE(image.pixelColor(column, 1) == marker ||
                image.pixelColor(column - 1, 1) == marker ||
                image.pixelColor(column + 1, 1) == marker);
}

TEST_F(Display, DoubleClickAfterScrollingBackShowsTheNewestPoints) {
    Feed(VariedFrames(5000));
    Form1->Chart1->xAxis->setRange(100, 300); // the operator looks back
    EXPECT_TRUE(Form1->Display().Strip()->isHidden());
    QTest::mouseDClick(Form1->Chart1, Qt::LeftButton, Qt::NoModifier,
                       Form1->Chart1->axisRect()->center());
    EXPECT_EQ(Form1->Chart1->xAxis->range(), QCPRange(4849, 4999));
    for (int s = 0; s < 6; ++s) {
        const QCPGraph* g = Form1->Chart1->graph(s);
        ASSERT_GT(g->dataCount(), 150) << s;
        EXPECT_EQ((g->data()->constEnd() - 1)->key, 4999) << s;
        EXPECT_LE(g->data()->constBegin()->key, 4849) << s;
    }
    EXPECT_FALSE(Form1->Display().Strip()->isHidden());
}

TEST_F(Display, ZoomStaysWithinTheHistoryAndTheLeftAxisRange) {
    Feed(VariedFrames(1000));
    QCustomPlot* chart = Form1->Chart1;
    const QPointF at = chart->axisRect()->center();
    for (int notch = 0; notch < 40; ++notch) {
        QWheelEvent out(at, chart->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(chart, &out);
    }
    EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 999)); // all the history, no further

    struct Case {
        QCPRange asked, shown;
    };
    const Case cases[] = {
        {{-1e9, 1e9}, {-22, 260}},
        {{100, 100.001}, {99.5005, 100.5005}},
        {{250, 400}, {110, 260}},
        {{10, 50}, {10, 50}},
    };
    for (const Case& c : cases) {
        chart->yAxis->setRange(c.asked);
        EXPECT_NEAR(chart->yAxis->range().lower, c.shown.lower, 1e-9) << c.asked.lower;
        EXPECT_NEAR(chart->yAxis->range().upper, c.shown.upper, 1e-9) << c.asked.lower;
    }
}

} // namespace
} // namespace vemor::uitest
