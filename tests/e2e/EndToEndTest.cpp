// End to end: vemor-sim on a pseudo-terminal behind a private ports folder, the real window
// (offscreen) opening COM10 and capturing as an operator would, and vemor-decode reading the
// capture afterwards.
#include "../tools/SimKit.h"
#include "../ui/UiKit.h"

#include "vemor/Values.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vemor::e2e {
namespace {

namespace fs = std::filesystem;
using simtest::Bytes;
using simtest::Child;
using vemor::testing::ReadBytes;

constexpr std::size_t Frames = 2000;

struct Captured {
    std::string path;
    Bytes sent;
};

std::string Text(const QLabel* label) {
    return label->text().toLatin1().toStdString();
}

class EndToEnd : public uitest::WindowTest {
protected:
    void SetUp() override {
        std::setlocale(LC_TIME, "C");
        WindowTest::SetUp();
    }

    template <class Pred>
    bool WaitFor(Pred pred, int ms = 10000) {
        return QTest::qWaitFor(pred, ms);
    }

    // Starts the simulator held, opens COM10 and starts a capture in the window, releases
    // the simulator, and once it has sent everything checks the labels against the last
    // frame sent, closes the window (finishing the capture), and checks the capture's body
    // against what the simulator recorded and its decoding against the frame count.
    std::optional<Captured> CaptureFrom(std::vector<std::string> simArgs, const std::string& tag) {
        const std::string sentPath = (work_ / ("sent-" + tag + ".bin")).string();
        simArgs.insert(simArgs.end(), {"--hold", "--sent", sentPath});
        Child sim(VEMOR_SIM_EXE, simArgs);
        if (!WaitFor([&] { return sim.Line("link: ").has_value(); })) {
            ADD_FAILURE() << "the simulator made no link: " << sim.Output();
            return std::nullopt;
        }

        Form1->ComboBox1->setCurrentIndex(9);
        Click(Form1->Button1);
        if (Form1->Button1->text() != QStringLiteral("Close")) {
            ADD_FAILURE() << "COM10 did not open";
            return std::nullopt;
        }
        Click(Form1->Button2);
        if (!Form1->CaptureStream) {
            ADD_FAILURE() << "no capture started";
            return std::nullopt;
        }
        const std::string name = Form1->CaptureStream->Name();
        EXPECT_TRUE(WaitFor([&] { return sim.Line("held: ").has_value(); })) << sim.Output();
        EXPECT_EQ(Form1->CaptureStream->BodyBytes(), 0u) << "bytes before the release";
        sim.Signal(SIGUSR1);

        if (!WaitFor([&] { return sim.Exited().has_value(); }, 60000)) {
            ADD_FAILURE() << "the simulator did not finish: " << sim.Output();
            return std::nullopt;
        }
        EXPECT_EQ(sim.Exited(), 0) << sim.Output();
        Captured result{(work_ / name).string(), ReadBytes(sentPath)};
        EXPECT_TRUE(sim.Line("sent: " + std::to_string(result.sent.size()) + " bytes, " +
                             std::to_string(Frames) + " frames"))
            << sim.Output();
        EXPECT_TRUE(WaitFor([&] {
            return Form1->CaptureStream->BodyBytes() >= result.sent.size();
        })) << Form1->CaptureStream->BodyBytes()
            << " of " << result.sent.size() << " bytes";

        const auto frames = vemor::testing::Parse(result.sent).frames;
        if (frames.empty()) {
            ADD_FAILURE() << "the simulator sent no frame";
            return std::nullopt;
        }
        const FrameTexts texts = LabelTexts(frames.back().data(), Form1->DecimalSeparator());
        // The texts are set with the next paint.
        EXPECT_TRUE(WaitFor([&] { return Text(Form1->LabelPW) == texts.Pw; }));
        EXPECT_EQ(Text(Form1->LabelRPM), texts.Rpm);
        EXPECT_EQ(Text(Form1->LabelBatt), texts.Batt);
        EXPECT_EQ(Text(Form1->LabelECT), texts.Ect);
        EXPECT_EQ(Text(Form1->LabelMAT), texts.Mat);
        EXPECT_EQ(Text(Form1->LabelPW), texts.Pw);

        delete Form1; // finishes the capture with its stop time
        Form1 = nullptr;

        const Bytes file = ReadBytes(result.path);
        EXPECT_GE(file.size(), CaptureHeaderLength);
        if (file.size() >= CaptureHeaderLength) {
            EXPECT_EQ(Bytes(file.begin() + CaptureHeaderLength, file.end()), result.sent)
                << "the capture body differs from what the simulator sent";
            EXPECT_NE(file[CaptureStopOffset], 0) << "no stop time";
        }

        Child decode(VEMOR_DECODE_EXE, {"--info", result.path});
        EXPECT_EQ(decode.Wait(), 0) << decode.Output();
        const std::string info = decode.Output();
        EXPECT_NE(info.find("\nframes: " + std::to_string(Frames) + "\n"), std::string::npos)
            << info;
        EXPECT_NE(info.find("\ndropped: 0\n"), std::string::npos) << info;
        EXPECT_NE(info.find("body_bytes: " + std::to_string(result.sent.size()) + "\n"),
                  std::string::npos)
            << info;
        return result;
    }

    void NewWindow() {
        Form1 = NewForm();
        Form1->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
    }
};

TEST_F(EndToEnd, LiveFramesReachTheLabelsAndTheCaptureByteForByte) {
    const auto run =
        CaptureFrom({"--frames", std::to_string(Frames), "--speed", "0", "--seed", "1"}, "live");
    ASSERT_TRUE(run);
    EXPECT_GT(run->sent.size(), Frames * 33);
}

TEST_F(EndToEnd, AReplayedCaptureShowsAndCapturesTheSameBytes) {
    const auto live =
        CaptureFrom({"--frames", std::to_string(Frames), "--speed", "0", "--seed", "1"}, "live");
    ASSERT_TRUE(live);
    const std::string drive = (work_ / "drive.cap").string();
    fs::copy_file(live->path, drive);

    NewWindow();
    const auto replay = CaptureFrom({"--replay", drive, "--speed", "0"}, "replay");
    ASSERT_TRUE(replay);
    EXPECT_EQ(replay->sent, live->sent) << "the replay sent other bytes than the capture holds";
}

// Close, and closing the window, in mid-stream: the capture holds every byte sent but those the
// simulator says were never read from the line.
TEST_F(EndToEnd, StoppingInMidStreamKeepsEveryByteRead) {
    for (const bool closeWindow : {false, true}) {
        SCOPED_TRACE(closeWindow ? "window closed" : "Close");
        if (Form1 == nullptr) {
            NewWindow();
        }
        const std::string sentPath = (work_ / (closeWindow ? "sent-w.bin" : "sent-c.bin")).string();
        Child sim(VEMOR_SIM_EXE, {"--hold", "--sent", sentPath});
        ASSERT_TRUE(WaitFor([&] { return sim.Line("link: ").has_value(); })) << sim.Output();
        Form1->ComboBox1->setCurrentIndex(9);
        Click(Form1->Button1);
        Click(Form1->Button2);
        ASSERT_TRUE(Form1->CaptureStream) << "no capture started";
        const fs::path path = work_ / Form1->CaptureStream->Name();
        ASSERT_TRUE(WaitFor([&] { return sim.Line("held: ").has_value(); })) << sim.Output();
        sim.Signal(SIGUSR1);
        ASSERT_TRUE(WaitFor([&] { return Form1->CaptureStream->BodyBytes() > 6000; }));
        if (closeWindow) {
            delete Form1;
            Form1 = nullptr;
        } else {
            Click(Form1->Button1);
        }
        ASSERT_TRUE(WaitFor([&] { return sim.Line("line down: ").has_value(); })) << sim.Output();
        delete Form1; // finishes a capture that Close left running
        Form1 = nullptr;
        sim.Signal(SIGTERM);
        sim.Wait();

        const std::string down = *sim.Line("line down: ");
        const std::size_t at = down.find("at least ");
        const std::size_t unread = at == std::string::npos ? 0 : std::stoul(down.substr(at + 9));
        Bytes read = ReadBytes(sentPath);
        ASSERT_GE(read.size(), unread);
        read.resize(read.size() - unread);
        const Bytes file = ReadBytes(path);
        ASSERT_GE(file.size(), CaptureHeaderLength);
        EXPECT_EQ(Bytes(file.begin() + CaptureHeaderLength, file.end()), read)
            << file.size() - CaptureHeaderLength << " bytes captured of " << read.size()
            << " read (" << unread << " unread)";
    }
}

} // namespace
} // namespace vemor::e2e
