#pragma once
// Test rig for the window: the application object, a private ports folder and working
// directory, a pseudo-terminal behind a COM number, and captured message boxes.

#include "Application.h"
#include "ErrorDisplay.h"
#include "Main.h"

#include "../serial/SerialKit.h"
#include "../support/Files.h"
#include "../support/Frames.h"
#include "../support/Pty.h"
#include "../support/TempDir.h"

#include "vemor/Values.h"

#include <QComboBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace vemor::uitest {

using vemor::testing::Bytes;
using vemor::testing::Cat;
using vemor::testing::Payload;
using vemor::testing::PtyLine;
using vemor::testing::RandomFrames;
using vemor::testing::ReadBytes;
using vemor::testing::ReadText;
using vemor::testing::Varied;
using vemor::testing::VariedFrames;
using vemor::testing::WriteFile;

// A fresh window in a private ports folder and working directory, with every box captured.
class WindowTest : public ::testing::Test {
protected:
    vemor::testing::TempDir dir_{"vemor-ui", vemor::testing::TempDir::Enter::Yes}; // the cwd
    void SetUp() override {
        work_ = dir_.Path();
        previousErrorBox_ = SetErrorBox([this](const QString& title, const QString& text) {
            errors_.push_back({title.toStdString(), text.toStdString()});
        });
        TForm1::CaptureNames().SetCounter(0); // as at program start
        Form1 = NewForm();
        Form1->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
    }
    void TearDown() override {
        delete Form1;
        Form1 = nullptr;
        SetErrorBox(previousErrorBox_);
    }

    // A window whose link boxes are caught.
    TForm1* NewForm() {
        auto* form = new TForm1;
        form->LinkBox = serialBoxes_.Hook();
        return form;
    }
    // Opens COM<n> with the pty behind it, as the operator would.
    void OpenPort(PtyLine& line, int n = 10) {
        ports_.Link(n, line.Name());
        Form1->ComboBox1->setCurrentIndex(n - 1);
        QTest::mouseClick(Form1->Button1, Qt::LeftButton);
        ASSERT_EQ(Form1->Button1->text(), QStringLiteral("Close"));
    }
    void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

    // Lets the event loop run until pred holds.
    template <class Pred>
    bool WaitFor(Pred pred, int ms = 3000) {
        return QTest::qWaitFor(pred, ms);
    }

    struct Shown {
        std::string title, text;
    };
    test::PortsDir ports_;
    test::BoxCapture serialBoxes_;
    std::vector<Shown> errors_;
    std::filesystem::path work_;
    ErrorBox previousErrorBox_;
};

// What the window has really painted under a widget: its backing store, not a new rendering.
inline QImage OnScreen(const QWidget* w) {
    const QPoint at = w->mapTo(w->window(), QPoint(0, 0));
    return w->window()
        ->screen()
        ->grabWindow(w->window()->winId(), at.x(), at.y(), w->width(), w->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// Counts the paint events a widget receives.
class PaintCount : public QObject {
public:
    explicit PaintCount(QWidget* w) { w->installEventFilter(this); }
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        count += e->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

} // namespace vemor::uitest
