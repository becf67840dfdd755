// Save File and the raw capture file.
#include "UiKit.h"

#include "../support/FileSizeLimit.h"

#include "vemor/Messages.h"

#include <QApplication>
#include <QInputDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <qcustomplot.h>

#include <clocale>
#include <functional>
#include <linux/fs.h>
#include <regex>
#include <sys/file.h>
#include <sys/ioctl.h>

namespace vemor::uitest {
namespace {

namespace fs = std::filesystem;

using vemor::testing::FileSizeLimit;

class Capture : public WindowTest {
protected:
    void SetUp() override {
        std::setlocale(LC_TIME, "C"); // eight-character times: 14:03:07
        WindowTest::SetUp();
    }
    // Writes frames at the line and waits until the window has shown them all.
    void Send(PtyLine& line, int first, int count, Bytes* sent) {
        const int before = Form1->Series1->dataCount();
        const Bytes bytes = VariedFrames(count, first);
        line.Write(bytes);
        ASSERT_TRUE(WaitFor([&] { return Form1->Series1->dataCount() == before + count; }));
        if (sent != nullptr) {
            sent->insert(sent->end(), bytes.begin(), bytes.end());
        }
    }
    // A window (a new one after a case that destroyed it) capturing from `line`; the name.
    std::string OpenAndCapture(PtyLine& line) {
        if (Form1 == nullptr) {
            Form1 = NewForm();
        }
        OpenPort(line);
        Click(Form1->Button2);
        return Form1->CaptureStream ? Form1->CaptureStream->Name() : std::string();
    }
    static Bytes Body(const Bytes& file) { return Bytes(file.begin() + 16, file.end()); }
    static QString Field() { return Form1->CaptureField->text(); }
    static std::string Text(const Bytes& file, std::size_t at, std::size_t n) {
        return std::string(file.begin() + static_cast<long>(at),
                           file.begin() + static_cast<long>(at + n));
    }
};

TEST_F(Capture, NamesInUseAreSkipped) {
    std::ofstream("TMP1.$$$") << "earlier run";
    fs::create_directory("TMP2.$$$");
    fs::create_symlink("/nonexistent/target", "TMP3.$$$");
    PtyLine line;
    OpenPort(line);
    Click(Form1->Button2);
    EXPECT_TRUE(fs::is_regular_file("TMP4.$$$"));
    std::ifstream in("TMP1.$$$");
    std::string kept;
    std::getline(in, kept);
    EXPECT_EQ(kept, "earlier run");
}

// Makes a directory refuse new entries even to root; false where the file system can't.
bool SetImmutable(const fs::path& dir, bool on) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool ok = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

TEST_F(Capture, FileThatCannotBeCreatedIsShownByTheErrorDisplay) {
    PtyLine line;
    OpenPort(line);
    Click(Form1->Button2);
    ASSERT_EQ(Field(), QStringLiteral("Capturing to TMP1.$$$ - 0 B, 00:00"));
    int expectedErr = EACCES;
    if (geteuid() != 0) {
        fs::permissions(work_, fs::perms::owner_read | fs::perms::owner_exec);
    } else {
        // Permissions do not stop root; an immutable directory does.
        if (!SetImmutable(work_, true)) {
            GTEST_SKIP() << "cannot make a directory immutable here";
        }
        expectedErr = EPERM;
    }
    Click(Form1->Button2);
    SetImmutable(work_, false);
    fs::permissions(work_, fs::perms::owner_all);

    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].text, "Cannot create file \"" + (work_ / "TMP2.$$$").string() + "\". " +
                                   SystemText(expectedErr) + ".");
    EXPECT_EQ(Form1->CaptureStream, nullptr);
    EXPECT_EQ(Field(), QString()); // nothing is being captured
    EXPECT_FALSE(Form1->StopCapture1->isEnabled());
    EXPECT_TRUE(Form1->Button2->isEnabled());
    // The next click tries again under the next name.
    Click(Form1->Button2);
    EXPECT_NE(Form1->CaptureStream, nullptr);
    EXPECT_TRUE(fs::exists("TMP3.$$$"));
}

TEST_F(Capture, FailedStopTimeIsShownOnce) {
    struct Case {
        const char* how;
        std::function<void()> finish;
    };
    const Case cases[] = {
        {"Stop Capture", [] { Form1->StopCapture1->trigger(); }},
        {"window destroyed",
         [] {
             delete Form1;
             Form1 = nullptr;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        errors_.clear();
        if (Form1 == nullptr) {
            Form1 = NewForm();
        }
        Form1->Button2Click(nullptr); // a capture without a port: bytes do not matter here
        const std::string name = Form1->CaptureStream->Name();
        {
            FileSizeLimit limit(8); // the stop time goes at byte 8
            c.finish();
        }
        ASSERT_EQ(errors_.size(), 1u);
        EXPECT_EQ(errors_[0].text, "Cannot finish file \"" + (work_ / name).string() +
                                       "\"; its header may lack the stop time. " +
                                       SystemText(EFBIG) + ".");
        EXPECT_EQ(ReadBytes(name).size(), 16u);
    }
}

TEST_F(Capture, StopCaptureFinishesTheFileAndStartsNone) {
    PtyLine line;
    OpenPort(line);
    EXPECT_FALSE(Form1->StopCapture1->isEnabled());
    Click(Form1->Button2);
    EXPECT_TRUE(Form1->StopCapture1->isEnabled());
    Bytes sent;
    Send(line, 0, 5, &sent);
    Form1->StopCapture1->trigger();
    EXPECT_EQ(Form1->CaptureStream, nullptr);
    EXPECT_FALSE(Form1->StopCapture1->isEnabled());
    EXPECT_EQ(Field(), QString());
    Send(line, 5, 5, nullptr); // shown, not recorded
    const Bytes file = ReadBytes("TMP1.$$$");
    EXPECT_EQ(Body(file), sent);
    EXPECT_EQ(Text(file, 10, 1), ":"); // the stop time
    EXPECT_EQ(Text(file, 13, 1), ":");
    EXPECT_FALSE(fs::exists("TMP2.$$$"));
    EXPECT_TRUE(errors_.empty());

    Click(Form1->Button2); // Save File works as before
    EXPECT_TRUE(fs::exists("TMP2.$$$"));
    EXPECT_TRUE(Form1->StopCapture1->isEnabled());
}

// The choice offers the spans with 5 minutes chosen, and Cancel saves nothing.
TEST_F(Capture, SaveLastMinutesAsksForTheSpanAndSaysWhatWasSaved) {
    PtyLine line;
    OpenPort(line);
    Bytes sent;
    Send(line, 0, 5, &sent);
    QStringList offered;
    for (const bool cancel : {true, false}) {
        QTimer::singleShot(0, Form1, [&] {
            auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            offered = box->comboBoxItems();
            offered.prepend(box->textValue());
            cancel ? box->reject() : box->accept();
        });
        Form1->SaveLastMinutes1->trigger();
        EXPECT_EQ(fs::exists("TMP1.$$$"), !cancel);
    }
    EXPECT_EQ(offered, (QStringList{"5 minutes", "1 minute", "5 minutes", "10 minutes"}));
    EXPECT_TRUE(Form1->MessageField->text().startsWith(QString::fromStdString(
        "Saved the last 5 minutes as " + (work_ / "TMP1.$$$").string() + ", 165 B")))
        << Form1->MessageField->text().toStdString();
    EXPECT_EQ(Body(ReadBytes("TMP1.$$$")), sent);
}

TEST_F(Capture, SaveLastMinutesThatTheDiskRefusesIsAnErrorNamingTheFile) {
    PtyLine line;
    OpenPort(line);
    Send(line, 0, 5, nullptr);
    QTimer::singleShot(0, Form1, [] {
        if (auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            box->accept();
        }
    });
    {
        FileSizeLimit limit(100);
        Form1->SaveLastMinutes1->trigger();
    }
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].text, "Cannot save the last 5 minutes: " + (work_ / "TMP1.$$$").string() +
                                   ": 81 of its 165 bytes could not be written (" +
                                   SystemText(EFBIG) + "); the saved capture is incomplete.");
    EXPECT_FALSE(Form1->MessageField->text().startsWith(QStringLiteral("Saved")));
}

TEST_F(Capture, F2MarksTheRunningCaptureAtTheNewestByte) {
    Form1->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form1));
    QTest::keyClick(Form1, Qt::Key_F2);
    const QString unrecorded = Form1->MessageField->text();
    EXPECT_TRUE(unrecorded.startsWith(QStringLiteral("Mark 1 at ")) &&
                unrecorded.endsWith(QStringLiteral(", not recorded: no capture runs")))
        << unrecorded.toStdString();
    PtyLine line;
    OpenPort(line);
    Click(Form1->Button2);
    Send(line, 0, 5, nullptr);
    QTest::keyClick(Form1, Qt::Key_F2);
    EXPECT_TRUE(Form1->MessageField->text().startsWith(QStringLiteral("Mark 1 at ")));
    EXPECT_TRUE(std::regex_search(ReadText("TMP1.$$$.txt"), std::regex("\n165\t[^\n]*\tmark\t1\n")))
        << "at the fifth frame's end";
    EXPECT_EQ(Form1->MarkWithNote1->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F2));
}

TEST_F(Capture, FieldShowsTheCaptureThroughCloseOpenAndLineMessages) {
    PtyLine line;
    OpenPort(line);
    EXPECT_EQ(Field(), QString());
    Click(Form1->Button2);
    const QString capturing = QStringLiteral("Capturing to TMP1.$$$ - ");
    EXPECT_EQ(Field(), capturing + QStringLiteral("0 B, 00:00"));
    Click(Form1->Button1);
    for (unsigned message : {WM_LINELOST, WM_LINEBACK}) {
        TMessage m(message, EIO, 10);
        QCoreApplication::sendEvent(Form1, &m);
        EXPECT_TRUE(Field().startsWith(capturing)) << Field().toStdString();
    }
    OpenPort(line);
    EXPECT_TRUE(Field().startsWith(capturing));
    Bytes sent;
    Send(line, 0, 40, &sent);
    // The field follows about once a second, not batch by batch.
    const QString size =
        QString::fromLocal8Bit(ByteCountText(sent.size(), Form1->DecimalSeparator()));
    EXPECT_TRUE(WaitFor([&] { return Field().contains(QStringLiteral(" - %1, 00:0").arg(size)); }))
        << Field().toStdString();
}

TEST_F(Capture, WindowDestroyedWhileCapturingWritesTheStopTime) {
    for (bool portOpen : {true, false}) {
        SCOPED_TRACE(portOpen);
        PtyLine line;
        const std::string name = OpenAndCapture(line);
        ASSERT_EQ(ReadBytes(name).size(), 16u);
        EXPECT_EQ(Text(ReadBytes(name), 8, 8), std::string(8, '\0'));
        if (!portOpen) {
            Click(Form1->Button1);
        }
        delete Form1;
        Form1 = nullptr;
        EXPECT_EQ(SerialThread, nullptr);
        const Bytes file = ReadBytes(name);
        ASSERT_EQ(file.size(), 16u); // nothing was received
        EXPECT_EQ(Text(file, 10, 1), ":");
        EXPECT_EQ(Text(file, 13, 1), ":");
    }
}

// A disk that takes nothing for a spell: the bytes wait, the field says how many, and once
// the disk takes them again the capture holds everything the line carried.
TEST_F(Capture, BytesWaitThroughADiskFullSpellAndTheCaptureEqualsTheLine) {
    PtyLine line;
    OpenPort(line);
    Bytes sent;
    {
        FileSizeLimit limit(16 + 99); // the header and three frames
        Click(Form1->Button2);
        Send(line, 0, 10, &sent);
        EXPECT_TRUE(Field().contains(QStringLiteral(" waiting for the disk (") +
                                     QString::fromLocal8Bit(SystemText(EFBIG))))
            << Field().toStdString();
        EXPECT_EQ(Form1->CaptureStream->WaitingBytes(), sent.size() - 99);
        Form1->MessageField->Show(QStringLiteral("the line is lost")); // leaves the field
        EXPECT_TRUE(Field().contains(QStringLiteral("waiting")));
    }
    // The disk takes bytes again: the field's next tick writes what waited, in order.
    ASSERT_TRUE(WaitFor([] { return Form1->CaptureStream->WaitingBytes() == 0; }));
    Send(line, 10, 5, &sent);
    EXPECT_FALSE(Field().contains(QStringLiteral("waiting")));
    Form1->StopCapture1->trigger();
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(Body(ReadBytes("TMP1.$$$")), sent);
}

// Past the end of the capture, what still waits is given up and said, with where it begins.
TEST_F(Capture, BytesStillWaitingAtTheEndAreToldWithTheirOffsetUntilTheNextSaveFile) {
    PtyLine line;
    OpenPort(line);
    {
        FileSizeLimit limit(16 + 99);
        Click(Form1->Button2);
        Send(line, 0, 10, nullptr);
        Form1->StopCapture1->trigger();
    }
    const std::string lost = "TMP1.$$$: " + std::to_string(10 * FrameLength - 99) +
                             " received bytes could not be written (" + SystemText(EFBIG) +
                             "), from body offset 99 on";
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].text.rfind(lost, 0), 0u) << errors_[0].text;
    EXPECT_EQ(Field().toStdString().rfind(lost, 0), 0u) << Field().toStdString();
    EXPECT_EQ(Form1->Series1->dataCount(), 10) << "the display goes on";
    EXPECT_EQ(fs::file_size("TMP1.$$$"), 16u + 99u);
    Click(Form1->Button2);
    EXPECT_EQ(Field(), QStringLiteral("Capturing to TMP2.$$$ - 0 B, 00:00"));
}

} // namespace
} // namespace vemor::uitest
