#pragma once
// Test rig for the window: the application object, a private ports folder and working
// directory, a pseudo-terminal behind a COM number, and captured message boxes.

#include "Application.h"
#include "ErrorDisplay.h"
#include "Main.h"

#include "../serial/SerialKit.h"

#include "vemor/Values.h"

#include <QComboBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace vemor::uitest {

using Bytes = std::vector<std::uint8_t>;

// The other side of a port: what the ECU would write, and what it receives.
class PtyLine {
public:
    PtyLine() {
        int slave = -1;
        char name[128];
        if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        name_ = name;
        // Our side stays open so that the line does not hang up before the monitor opens it.
        slave_ = slave;
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyLine() {
        Close();
        if (slave_ >= 0) {
            ::close(slave_);
        }
    }
    const std::string& Name() const { return name_; }
    void Write(const Bytes& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (errno == EAGAIN) {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 100);
            } else {
                throw std::runtime_error("pty write failed");
            }
        }
    }
    // Everything the monitor wrote, waiting up to `ms` for at least `want` bytes.
    Bytes Read(std::size_t want, int ms = 2000) const {
        Bytes out;
        const auto end = test::Clock::now() + std::chrono::milliseconds(ms);
        while (out.size() < want && test::Clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) {
                std::uint8_t buf[256];
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0) {
                    out.insert(out.end(), buf, buf + n);
                }
            }
        }
        return out;
    }
    void Close() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string name_;
};

// A fresh window in a private ports folder and working directory, with every box captured.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vemor-ui-XXXXXX";
        work_ = mkdtemp(tmpl);
        previousDir_ = std::filesystem::current_path();
        std::filesystem::current_path(work_);
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
        std::filesystem::current_path(previousDir_);
        std::error_code ec;
        std::filesystem::permissions(work_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(work_, ec);
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

    static Bytes ReadFile(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    struct Shown {
        std::string title, text;
    };
    test::PortsDir ports_;
    test::BoxCapture serialBoxes_;
    std::vector<Shown> errors_;
    std::filesystem::path work_;
    std::filesystem::path previousDir_;
    ErrorBox previousErrorBox_;
};

// Line bytes of frames whose payload follows the index, with every byte the display uses set.
inline Bytes FrameLine(int n) {
    std::uint8_t p[PayloadLength];
    for (int i = 0; i < PayloadLength; ++i) {
        p[i] = static_cast<std::uint8_t>(n * 7 + i);
    }
    p[9] = static_cast<std::uint8_t>(1 + n % 200);
    p[6] = 200;
    Bytes out;
    AppendLineFrame(out, p);
    return out;
}

// Line bytes of `count` frames of random payload bytes.
inline Bytes RandomLine(int count, std::mt19937& rng) {
    Bytes out;
    std::uint8_t p[PayloadLength];
    for (int n = 0; n < count; ++n) {
        for (std::uint8_t& b : p) {
            b = static_cast<std::uint8_t>(rng());
        }
        AppendLineFrame(out, p);
    }
    return out;
}

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
