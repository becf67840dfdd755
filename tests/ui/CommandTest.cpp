// Opening and closing the port, live frames on the labels and chart, the test packet.
#include "UiKit.h"

#include "vemor/Messages.h"
#include "vemor/SystemText.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <qcustomplot.h>

namespace vemor::uitest {
namespace {

using Commands = WindowTest;

void ExpectClosed() {
    EXPECT_EQ(Form1->Button1->text(), QStringLiteral("Open"));
    EXPECT_FALSE(Form1->Button2->isEnabled());
    EXPECT_FALSE(Form1->Button3->isEnabled());
    EXPECT_EQ(SerialThread, nullptr);
}

TEST_F(Commands, OpenCloseOpenBuildsANewLinkEachTime) {
    PtyLine line;
    OpenPort(line);
    const ThreadIO* first = SerialThread;
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(Form1->Button2->isEnabled());
    EXPECT_TRUE(Form1->Button3->isEnabled());
    EXPECT_FALSE(SerialThread->Suspended());

    Click(Form1->Button1);
    ExpectClosed();

    Click(Form1->Button1);
    EXPECT_EQ(Form1->Button1->text(), QStringLiteral("Close"));
    EXPECT_NE(SerialThread, nullptr);
    Click(Form1->Button1);
    ExpectClosed();
    // Enter and Return press the focused button as a click does.
    Form1->Button1->setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(Form1->Button1, key);
        EXPECT_EQ(Form1->Button1->text(), QStringLiteral("Close"));
        QTest::keyClick(Form1->Button1, key);
        ExpectClosed();
    }
    EXPECT_TRUE(serialBoxes_.shown.empty());
}

TEST_F(Commands, MissingPortIsReportedAndStaysClosed) {
    struct Case {
        int index; // -1: a text typed by hand
        int port;
    };
    for (const Case c : {Case{16, 17}, Case{-1, 0}}) {
        serialBoxes_.shown.clear();
        if (c.index >= 0) {
            Form1->ComboBox1->setCurrentIndex(c.index);
        } else {
            Form1->ComboBox1->setEditText(QStringLiteral("COM99"));
        }
        Click(Form1->Button1);
        ExpectClosed();
        ASSERT_EQ(serialBoxes_.shown.size(), 1u) << c.port;
        EXPECT_EQ(serialBoxes_.shown[0].caption, "GetLastError");
        EXPECT_EQ(serialBoxes_.shown[0].FirstLine(), SystemText(ENOENT));
    }
}

TEST_F(Commands, FramesReachTheLabelsTheSeriesAndTheAxisWindow) {
    PtyLine line;
    OpenPort(line);
    const Payload last = Varied(199);
    line.Write(VariedFrames(200));
    ASSERT_TRUE(WaitFor([] { return Form1->Series1->dataCount() == 200; }));
    const FrameTexts t = LabelTexts(last.data(), '.');
    // The texts are set with the next paint.
    ASSERT_TRUE(WaitFor([&] { return Form1->LabelRPM->text() == QString::fromLatin1(t.Rpm); }));
    EXPECT_EQ(Form1->LabelRPM->text(), QString::fromLatin1(t.Rpm.c_str()));
    EXPECT_EQ(Form1->LabelBatt->text(), QStringLiteral("12.50 V Batt"));
    EXPECT_EQ(Form1->LabelECT->text(), QString::fromLatin1(t.Ect.c_str()));
    EXPECT_TRUE(Form1->LabelECT->text().contains(QStringLiteral("\u00B0C CLT")));
    EXPECT_EQ(Form1->LabelMAT->text(), QString::fromLatin1(t.Mat.c_str()));
    EXPECT_EQ(Form1->LabelPW->text(), QString::fromLatin1(t.Pw.c_str()));
    const auto y = ChartValues(last.data());
    for (int s = 0; s < 6; ++s) {
        const QCPGraph* g = Form1->Chart1->graph(s);
        ASSERT_EQ(g->dataCount(), 200) << s;
        EXPECT_EQ((g->data()->constEnd() - 1)->key, 199);
        EXPECT_EQ((g->data()->constEnd() - 1)->value, y[static_cast<std::size_t>(s)]) << s;
    }
    EXPECT_EQ(Form1->Chart1->xAxis->range(), QCPRange(49, 199));
}

TEST_F(Commands, FrameSplitAcrossReadsIsAcceptedWhole) {
    PtyLine line;
    OpenPort(line);
    const Bytes f = Varied(3).Line();
    line.Write(Bytes(f.begin(), f.begin() + 20));
    QTest::qWait(80); // past the read time-out, so the halves arrive in separate chunks
    EXPECT_EQ(Form1->Series1->dataCount(), 0);
    line.Write(Bytes(f.begin() + 20, f.end()));
    ASSERT_TRUE(WaitFor([] { return Form1->Series1->dataCount() == 1; }));
    EXPECT_EQ(Form1->Chart1->xAxis->range(), QCPRange(-150, 0));
}

TEST_F(Commands, MouseZoomHoldsOnlyUntilTheNextFrame) {
    PtyLine line;
    OpenPort(line);
    line.Write(Varied(0).Line());
    ASSERT_TRUE(WaitFor([] { return Form1->Series1->dataCount() == 1; }));
    // A zoom far to the right of the newest point, which a plain maximum-first update
    // would reject.
    Form1->Chart1->xAxis->setRange(500, 600);
    EXPECT_TRUE(Form1->Display().BottomAxisAutomatic());
    line.Write(Varied(1).Line());
    ASSERT_TRUE(WaitFor([] { return Form1->Series1->dataCount() == 2; }));
    EXPECT_EQ(Form1->Chart1->xAxis->range(), QCPRange(-149, 1));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Commands, ScrollingBackShowsTheHistoryAndTheNextFrameReturns) {
    const Bytes stream = VariedFrames(5000);
    Form1->FeedBytes(stream.data(), stream.size());
    EXPECT_LT(Form1->Series1->dataCount(), 5000); // the graphs hold only the newest stretch
    // The operator looks at frames 100 to 300.
    Form1->Chart1->xAxis->setRange(100, 300);
    const QCPGraph* g = Form1->Series1;
    ASSERT_GT(g->dataCount(), 0);
    EXPECT_LE(g->data()->constBegin()->key, 100);
    const auto at150 = g->data()->findBegin(150, false);
    EXPECT_EQ(at150->key, 150);
    EXPECT_EQ(at150->value, Varied(150)[byte_pos::Map]); // Series1 is the MAP trace

    const Bytes f = Varied(5000).Line();
    Form1->FeedBytes(f.data(), f.size());
    EXPECT_EQ(Form1->Chart1->xAxis->range(), QCPRange(4850, 5000));
    EXPECT_EQ((g->data()->constEnd() - 1)->key, 5000);
    EXPECT_GT(g->data()->constBegin()->key, 300);
}

TEST_F(Commands, TestPacketGoesOutOnTheLine) {
    PtyLine line;
    OpenPort(line);
    Form1->Button3Click(Form1->Button3);
    const Bytes sent = line.Read(13);
    EXPECT_EQ(sent, (Bytes{0x2B, 0x0D, 0x01, 0x08, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                           0xA3}));
}

// The reads of one post come as one event; each message in it is handled, in order.
TEST_F(Commands, MessagesPostedTogetherAreEachHandledInOrder) {
    const vemor::PostedMessage posts[] = {{vemor::WM_LINELOST, EIO, 10},
                                          {vemor::WM_LINELOST, ENXIO, 10}};
    Form1->Handle()->PostAll(posts, std::size(posts));
    ASSERT_TRUE(WaitFor([] {
        return Form1->MessageField->text().contains(
            QString::fromStdString(vemor::SystemText(ENXIO)));
    }));
}

TEST_F(Commands, LostAndReturningLineIsShownInTheStatusBar) {
    auto line = std::make_unique<PtyLine>();
    OpenPort(*line);
    line.reset(); // both sides go: the device is gone
    ASSERT_TRUE(WaitFor(
        [] { return Form1->MessageField->text().contains(QStringLiteral("line is lost")); }));
    EXPECT_EQ(Form1->Button1->text(), QStringLiteral("Close"));
    PtyLine back;
    ports_.Link(10, back.Name());
    ASSERT_TRUE(
        WaitFor([] { return Form1->MessageField->text().contains(QStringLiteral("back")); }, 5000));
    back.Write(Varied(0).Line());
    EXPECT_TRUE(WaitFor([] { return Form1->Series1->dataCount() == 1; }));
}

} // namespace
} // namespace vemor::uitest
