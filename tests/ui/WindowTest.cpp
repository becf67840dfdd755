// The window as it stands before any port is opened.
#include "UiKit.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <qcustomplot.h>

namespace vemor::uitest {
namespace {

using Window = WindowTest;

TEST_F(Window, StartsClosedWithComTenChosenAndTerminalInFront) {
    EXPECT_EQ(Form1->ComboBox1->currentText(), QStringLiteral("COM10"));
    EXPECT_EQ(Form1->SelectedPortIndex(), 9);
    EXPECT_EQ(Form1->Button1->text(), QStringLiteral("Open"));
    EXPECT_TRUE(Form1->Button1->isEnabled());
    EXPECT_FALSE(Form1->Button2->isEnabled());
    EXPECT_FALSE(Form1->Button3->isEnabled());
    EXPECT_FALSE(Form1->Button3->isVisible());
    EXPECT_EQ(Form1->PageControl1->currentWidget(), Form1->Terminal);
    EXPECT_EQ(SerialThread, nullptr);
    EXPECT_EQ(Form1->CaptureStream, nullptr);
    EXPECT_EQ(Form1->Assembler.FramePos, 0);
    EXPECT_EQ(Form1->Assembler.SyncWord, 0);
}

TEST_F(Window, ComponentsCarryTheirNamesAndDesignTexts) {
    const std::pair<const char*, QString> labels[] = {
        {"LabelRPM", "LabelRPM"}, {"LabelBatt", "LabelBatt"}, {"LabelECT", "LabelECT"},
        {"LabelMAT", "LabelMAT"}, {"LabelPW", "LabelPW"},
    };
    for (const auto& [name, text] : labels) {
        auto* l = Form1->findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(l, nullptr) << name;
        EXPECT_EQ(l->text(), text);
        EXPECT_TRUE(l->font().bold());
        EXPECT_EQ(l->font().pointSize(), 12);
    }
    for (const char* name : {"Button1", "Button2", "Button3", "ComboBox1", "Panel1", "PageControl1",
                             "Vemor", "Terminal", "Memo1", "Chart1"}) {
        EXPECT_NE(Form1->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    }
    EXPECT_EQ(Form1->windowTitle(), QStringLiteral("Vemor"));
    EXPECT_EQ(Form1->PageControl1->tabText(0), QStringLiteral("Vemor"));
    EXPECT_EQ(Form1->PageControl1->tabText(1), QStringLiteral("Terminal"));
    EXPECT_EQ(Form1->Button2->text(), QStringLiteral("Save File"));
    EXPECT_EQ(Form1->Button3->text(), QStringLiteral("Test"));
    EXPECT_EQ(Form1->File1->title(), QStringLiteral("&File"));
    EXPECT_EQ(Form1->Tool1->title(), QStringLiteral("&Tool"));
    EXPECT_EQ(Form1->Terminal1->text(), QStringLiteral("Terminal"));
    EXPECT_TRUE(Form1->Memo1->toPlainText().isEmpty());
}

TEST_F(Window, ChooserListsSixteenPortsAndAnEmptyItem) {
    ASSERT_EQ(Form1->ComboBox1->count(), 17);
    EXPECT_EQ(Form1->ComboBox1->itemText(0), QStringLiteral("COM1"));
    EXPECT_EQ(Form1->ComboBox1->itemText(15), QStringLiteral("COM16"));
    EXPECT_TRUE(Form1->ComboBox1->itemText(16).isEmpty());
    Form1->ComboBox1->setCurrentIndex(16);
    EXPECT_EQ(Form1->SelectedPortIndex(), 16);
    Form1->ComboBox1->setEditText(QStringLiteral("COM3 by hand"));
    EXPECT_EQ(Form1->SelectedPortIndex(), -1);
}

TEST_F(Window, LayoutMatchesTheDesignAndFollowsResizing) {
    const QWidget* client = Form1->centralWidget();
    EXPECT_EQ(client->width(), 921);
    EXPECT_EQ(client->height() + Form1->StatusBar1->height(), 580);
    EXPECT_EQ(Form1->StatusBar1->height(), 19);
    EXPECT_EQ(Form1->Panel1->geometry(), QRect(0, 0, 921, 105));
    EXPECT_EQ(Form1->PageControl1->y(), 105);
    EXPECT_EQ(Form1->Memo1->height(), 20);
    EXPECT_EQ(Form1->Button1->geometry(), QRect(16, 8, 75, 25));
    EXPECT_EQ(Form1->ComboBox1->geometry(), QRect(98, 9, 94, 21));
    EXPECT_EQ(Form1->Button2->geometry(), QRect(208, 8, 75, 25));
    EXPECT_EQ(Form1->LabelBatt->pos(), QPoint(320, 9));
    EXPECT_EQ(Form1->LabelRPM->pos(), QPoint(320, 53));
    EXPECT_EQ(Form1->LabelECT->pos(), QPoint(495, 3));
    EXPECT_EQ(Form1->LabelMAT->pos(), QPoint(496, 53));
    EXPECT_EQ(Form1->LabelPW->pos(), QPoint(728, 0));

    const int chartHeight = Form1->Chart1->height();
    Form1->resize(Form1->width() + 200, Form1->height() + 150);
    QTest::qWait(50);
    EXPECT_EQ(Form1->Panel1->height(), 105);
    EXPECT_EQ(Form1->Panel1->width(), 1121);
    EXPECT_EQ(Form1->Memo1->height(), 20);
    EXPECT_EQ(Form1->Chart1->height(), chartHeight + 150);
    EXPECT_EQ(Form1->StatusBar1->geometry().bottom(), Form1->height() - 1);
    // Made as small as 640 x 400, the window keeps the whole control strip in view.
    Form1->resize(640, 400);
    QTest::qWait(50);
    EXPECT_GE(Form1->centralWidget()->width(), Form1->LabelPW->geometry().right() + 1);
    EXPECT_EQ(Form1->minimumWidth(), 810);
}

TEST_F(Window, ChartIsConfiguredAsDesigned) {
    QCustomPlot* c = Form1->Chart1;
    EXPECT_EQ(c->grab().toImage().pixelColor(2, 2), QColor(Qt::black));
    EXPECT_EQ(c->xAxis->range(), QCPRange(0, 150));
    EXPECT_EQ(c->yAxis->range(), QCPRange(-22, 260));
    EXPECT_EQ(c->xAxis->tickLabelColor(), QColor(192, 192, 192));
    EXPECT_TRUE(c->legend->visible());
    EXPECT_EQ(c->legend->textColor(), QColor(192, 192, 192));
    ASSERT_EQ(c->graphCount(), 6);
    struct Series {
        QCPGraph* graph;
        const char* title;
        QColor colour;
    };
    const Series series[] = {
        {Form1->Series1, "MAP", QColor(255, 255, 255)},
        {Form1->Series2, "RPM", QColor(255, 255, 0)},
        {Form1->Series3, "PW", QColor(255, 0, 0)},
        {Form1->Series4, "O2", QColor(0, 255, 0)},
        {Form1->Series5, "TPS", QColor(0, 0, 255)},
        {Form1->Series6, "", QColor(0, 128, 0)},
    };
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(c->graph(i), series[i].graph);
        EXPECT_EQ(series[i].graph->name(), QString::fromLatin1(series[i].title));
        EXPECT_EQ(series[i].graph->pen().color(), series[i].colour);
        EXPECT_EQ(series[i].graph->pen().width(), 2);
        EXPECT_EQ(series[i].graph->scatterStyle().shape(), QCPScatterStyle::ssNone);
        EXPECT_EQ(series[i].graph->dataCount(), 0);
    }
    EXPECT_EQ(Form1->Series6->lineStyle(), QCPGraph::lsStepLeft);
    EXPECT_EQ(Form1->Series1->lineStyle(), QCPGraph::lsLine);
}

TEST_F(Window, MenuItemsDoNothingAndStopCaptureWaitsForACapture) {
    QList<QAction*> items = Form1->File1->actions();
    items.removeIf([](QAction* a) { return a->isSeparator(); });
    EXPECT_EQ(items,
              (QList<QAction*>{Form1->OpenCapture1, Form1->StopCapture1, Form1->SaveLastMinutes1,
                               Form1->Mark1, Form1->MarkWithNote1}));
    EXPECT_EQ(Form1->Mark1->text(), QStringLiteral("Mark"));
    EXPECT_EQ(Form1->MarkWithNote1->text(), QStringLiteral("Mark with Note..."));
    EXPECT_EQ(Form1->OpenCapture1->text(), QStringLiteral("Open Capture..."));
    EXPECT_EQ(Form1->StopCapture1->text(), QStringLiteral("Stop Capture"));
    EXPECT_EQ(Form1->SaveLastMinutes1->text(), QStringLiteral("Save Last Minutes..."));
    EXPECT_FALSE(Form1->StopCapture1->isEnabled());
    Form1->File1->menuAction()->trigger();
    Form1->Terminal1->trigger();
    Form1->StopCapture1Click(nullptr);
    EXPECT_EQ(Form1->Button1->text(), QStringLiteral("Open"));
    EXPECT_EQ(SerialThread, nullptr);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Window, DoubleClickEmptiesTheMemo) {
    Form1->Memo1->setPlainText(QStringLiteral("one\ntwo"));
    QTest::mouseDClick(Form1->Memo1->viewport(), Qt::LeftButton);
    EXPECT_TRUE(Form1->Memo1->toPlainText().isEmpty());
    QTest::mouseDClick(Form1->Memo1->viewport(), Qt::LeftButton);
    EXPECT_TRUE(Form1->Memo1->toPlainText().isEmpty());
}

TEST_F(Window, ForeignEventsReachTheInheritedHandling) {
    // The main window's own handling shows a status tip in its status bar.
    QStatusTipEvent tip(QStringLiteral("passed through"));
    QCoreApplication::sendEvent(Form1, &tip);
    EXPECT_EQ(Form1->StatusBar1->currentMessage(), QStringLiteral("passed through"));
}

// Each status text has a field of its own: at the design width a line-loss message, a long
// capture field and the health field stand side by side, and one cut short ends with dots
// and has the whole text as its tooltip.
TEST_F(Window, EachStatusTextHasAFieldThatTellsItWhole) {
    const QString message = QStringLiteral(
        "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0: the line is lost "
        "(Input/output error). Waiting for the device to return; Close stops waiting.");
    Form1->MessageField->Show(message);
    Form1->CaptureField->Show(
        QStringLiteral("Capturing to TMP3.$$$ - 36.7 kB, 00:05; sleep held off"));
    Form1->HealthField->Show(QStringLiteral("no data for 7 s, 0 rejected"));
    QTest::qWait(20);
    const vemor::StatusField* fields[] = {Form1->MessageField, Form1->CaptureField,
                                          Form1->HealthField};
    for (int i = 0; i + 1 < 3; ++i) {
        EXPECT_LT(fields[i]->geometry().right(), fields[i + 1]->geometry().left()) << i;
    }
    EXPECT_LE(Form1->HealthField->geometry().right(), Form1->StatusBar1->width());
    EXPECT_LT(Form1->MessageField->width(), Form1->MessageField->sizeHint().width());
    EXPECT_EQ(Form1->MessageField->toolTip(), message);
    EXPECT_TRUE(Form1->HealthField->toolTip().startsWith(QStringLiteral("The open line:")))
        << "whole: the field's own tip";
    Form1->CaptureField->SetTip(QStringLiteral("/home/op/TMP3.$$$"));
    EXPECT_EQ(Form1->CaptureField->toolTip(), QStringLiteral("/home/op/TMP3.$$$"));
    Form1->CaptureField->Show(
        QStringLiteral("Capturing to TMP3.$$$ - 36.7 kB, 00:05; 12.0 kB waiting for the disk "
                       "(No space left on device); no journal: Permission denied; sleep held off"));
    QTest::qWait(20);
    ASSERT_LT(Form1->CaptureField->width(), Form1->CaptureField->sizeHint().width());
    EXPECT_EQ(Form1->CaptureField->toolTip(),
              Form1->CaptureField->text() + QStringLiteral("\n/home/op/TMP3.$$$"))
        << "cut: the whole text, then the field's own tip";
}

// The capture field changes twice a second; a text as wide as the last asks the status bar
// for no new layout, which would measure and place every field again.
TEST_F(Window, StatusFieldAsksForALayoutOnlyWhenItsWidthChanges) {
    struct Counter : QObject {
        int layouts = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            layouts += e->type() == QEvent::LayoutRequest ? 1 : 0;
            return false;
        }
    } counter;
    vemor::StatusField* field = Form1->CaptureField;
    field->Show(QStringLiteral("Capturing to TMP1.$$$ - 10.0 kB, 00:05"));
    QTest::qWait(20);
    Form1->StatusBar1->installEventFilter(&counter);
    const QString same = QStringLiteral("Capturing to TMP1.$$$ - 10.0 kB, 00:06");
    const bool sameWidth = field->fontMetrics().horizontalAdvance(same) ==
                           field->fontMetrics().horizontalAdvance(field->text());
    field->Show(same);
    QTest::qWait(20);
    if (sameWidth) {
        EXPECT_EQ(counter.layouts, 0);
    }
    EXPECT_EQ(field->text(), same);
    field->Show(same + QStringLiteral("; sleep held off"));
    QTest::qWait(20);
    EXPECT_GE(counter.layouts, 1);
    EXPECT_GT(field->width(), field->fontMetrics().horizontalAdvance(same));
    Form1->StatusBar1->removeEventFilter(&counter);
}

TEST_F(Window, ErrorEscapingAHandlerIsShownAndTheLoopGoesOn) {
    struct Thrower : QObject {
        bool event(QEvent* e) override {
            if (e->type() == QEvent::User) {
                throw std::runtime_error("Something broke");
            }
            return QObject::event(e);
        }
    } thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    ASSERT_TRUE(WaitFor([&] { return !errors_.empty(); }));
    EXPECT_EQ(errors_[0].text, "Something broke.");
    EXPECT_EQ(errors_[0].title, QCoreApplication::applicationName().toStdString());
    // The loop still delivers.
    bool delivered = false;
    QTimer::singleShot(0, [&] { delivered = true; });
    EXPECT_TRUE(WaitFor([&] { return delivered; }));
}

} // namespace
} // namespace vemor::uitest
