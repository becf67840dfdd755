// The simulator's parts in-process: the engine's behaviour, the line format of what it
// sends, faults, replay, the frame limit, the command line, the link and packet printing.
#include "SimKit.h"

#include "vemor/Assembler.h"
#include "vemor/Values.h"
#include "vemor/sim/Engine.h"
#include "vemor/sim/Line.h"
#include "vemor/sim/Options.h"
#include "vemor/sim/Source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <vector>

namespace vemor::sim {
namespace {

using simtest::Bytes;
using Payload = std::array<std::uint8_t, PayloadLength>;

constexpr int FramesPerSecond = 189; // the model's step is one frame at the line rate

std::vector<Payload> Frames(std::uint64_t seed, int frames) {
    EngineModel engine(seed);
    std::vector<Payload> out(static_cast<std::size_t>(frames));
    for (Payload& p : out) {
        engine.NextPayload(p.data());
    }
    return out;
}

double Celsius(std::uint8_t b) {
    return (5.0 * b - 320.0) / 9.0;
}
double Rpm(std::uint8_t b) {
    return b == 0 ? 0 : 78120.0 / b;
}

// A minute from the key turn, the engine as the display would see it.
class EngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { minute_ = Frames(7, 60 * FramesPerSecond); }
    static const Payload& At(double seconds) {
        return minute_.at(static_cast<std::size_t>(seconds * FramesPerSecond));
    }
    static std::vector<Payload> minute_;
};
std::vector<Payload> EngineTest::minute_;

TEST_F(EngineTest, CranksOnTheBatteryThenRunsNearFourteenVolts) {
    const Payload& crank = At(0.1);
    EXPECT_EQ(crank[byte_pos::Rpm], 0xFF) << "cranking speed is below what the byte can show";
    EXPECT_LT(crank[byte_pos::Battery] * 0.0625, 11.0);
    for (double s = 3; s < 60; s += 0.5) {
        const double volts = At(s)[byte_pos::Battery] * 0.0625;
        EXPECT_GE(volts, 13.6) << "at " << s << " s";
        EXPECT_LE(volts, 14.6) << "at " << s << " s";
    }
}

TEST_F(EngineTest, WarmsUpFromCold) {
    const double coolantStart = Celsius(At(0.5)[byte_pos::Coolant]);
    const double intakeStart = Celsius(At(0.5)[byte_pos::Intake]);
    EXPECT_LT(coolantStart, 25.0);
    EXPECT_GT(Celsius(At(59)[byte_pos::Coolant]), coolantStart + 20);
    EXPECT_GT(Celsius(At(59)[byte_pos::Intake]), intakeStart + 3);
    // Below the thermostat the coolant never cools down.
    for (double s = 1; s < 59; s += 1) {
        EXPECT_GE(At(s + 1)[byte_pos::Coolant], At(s)[byte_pos::Coolant]) << "at " << s << " s";
    }
    for (const Payload& p : minute_) {
        ASSERT_LE(Celsius(p[byte_pos::Coolant]), 100.0);
    }
}

TEST_F(EngineTest, IdlesWithSmallSpeedJitterAndFallsAsItWarms) {
    std::set<int> idleBytes;
    double coldIdle = 0;
    double warmIdle = 0;
    int cold = 0;
    int warm = 0;
    std::size_t lastOpen = 0;
    for (std::size_t i = 3 * FramesPerSecond; i < minute_.size(); ++i) {
        const Payload& p = minute_[i];
        if (p[byte_pos::Tps] > 25) {
            lastOpen = i;
        }
        if (i - lastOpen < 3 * FramesPerSecond) {
            continue; // still settling after a blip
        }
        const double rpm = Rpm(p[byte_pos::Rpm]);
        EXPECT_GT(rpm, 750) << "frame " << i;
        EXPECT_LT(rpm, 1350) << "frame " << i;
        idleBytes.insert(p[byte_pos::Rpm]);
        if (i < 10 * FramesPerSecond) {
            coldIdle += rpm;
            ++cold;
        } else if (i > 45 * FramesPerSecond) {
            warmIdle += rpm;
            ++warm;
        }
    }
    ASSERT_GT(cold, 0);
    ASSERT_GT(warm, 0);
    EXPECT_GE(idleBytes.size(), 4u) << "idle speed without jitter";
    EXPECT_GT(coldIdle / cold, warmIdle / warm + 50);
}

TEST_F(EngineTest, ThrottleBlipsMoveTpsMapSpeedAndPulseWidthTogether) {
    int blips = 0;
    for (std::size_t i = 3 * FramesPerSecond; i + FramesPerSecond < minute_.size(); ++i) {
        const Payload& before = minute_[i - 1];
        const Payload& p = minute_[i];
        if (!(before[byte_pos::Tps] < 30 && p[byte_pos::Tps] >= 30)) {
            continue;
        }
        ++blips;
        int maxTps = 0;
        int maxMap = 0;
        int maxPw = 0;
        int minPeriod = 255;
        for (std::size_t k = i; k < i + FramesPerSecond; ++k) {
            maxTps = std::max<int>(maxTps, minute_[k][byte_pos::Tps]);
            maxMap = std::max<int>(maxMap, minute_[k][byte_pos::Map]);
            maxPw = std::max<int>(maxPw, minute_[k][byte_pos::PulseWidth]);
            minPeriod = std::min<int>(minPeriod, minute_[k][byte_pos::Rpm]);
        }
        EXPECT_GT(maxTps, before[byte_pos::Tps] + 20) << "blip at frame " << i;
        EXPECT_GT(maxMap, before[byte_pos::Map] + 40) << "blip at frame " << i;
        EXPECT_GT(maxPw, before[byte_pos::PulseWidth] + 10) << "blip at frame " << i;
        EXPECT_GT(Rpm(static_cast<std::uint8_t>(minPeriod)), Rpm(before[byte_pos::Rpm]) + 500)
            << "blip at frame " << i;
        EXPECT_LT(Rpm(static_cast<std::uint8_t>(minPeriod)), 6500);
    }
    EXPECT_GE(blips, 4);
    EXPECT_LE(blips, 20);
}

TEST_F(EngineTest, OxygenSensorSwitchesRichAndLeanOnceTheLoopCloses) {
    // Counted with hysteresis, as noise on a slow crossing is no switch.
    auto switches = [](std::size_t from, std::size_t to) {
        int n = 0;
        bool rich = minute_[from][byte_pos::O2] * 1.1 / 255 > 0.45;
        for (std::size_t i = from + 1; i < to; ++i) {
            const double volts = minute_[i][byte_pos::O2] * 1.1 / 255;
            if (rich ? volts < 0.3 : volts > 0.6) {
                rich = !rich;
                ++n;
            }
        }
        return n;
    };
    EXPECT_LE(switches(2 * FramesPerSecond, 10 * FramesPerSecond), 2) << "open loop while cold";
    const int closed = switches(50 * FramesPerSecond, 60 * FramesPerSecond);
    EXPECT_GE(closed, 8) << "a narrow-band loop switches about once a second";
    EXPECT_LE(closed, 60);
    std::uint8_t lo = 255;
    std::uint8_t hi = 0;
    for (std::size_t i = 50 * FramesPerSecond; i < minute_.size(); ++i) {
        lo = std::min(lo, minute_[i][byte_pos::O2]);
        hi = std::max(hi, minute_[i][byte_pos::O2]);
    }
    EXPECT_LT(lo * 1.1 / 255, 0.25);
    EXPECT_GT(hi * 1.1 / 255, 0.7);
}

TEST(EngineSeed, SameSeedSameFramesOtherSeedOtherFrames) {
    EXPECT_EQ(Frames(42, 3000), Frames(42, 3000));
    EXPECT_NE(Frames(42, 3000), Frames(43, 3000));
}

Bytes Join(Source& source, int pieces, std::vector<Piece>* kept = nullptr) {
    Bytes line;
    Piece piece;
    for (int i = 0; i < pieces && source.Next(piece); ++i) {
        line.insert(line.end(), piece.Bytes.begin(), piece.Bytes.end());
        if (kept != nullptr) {
            kept->push_back(piece);
        }
    }
    return line;
}

TEST(LineFormat, EveryFrameDecodesAndEveryPayloadFFIsDoubled) {
    EngineSource source(1, false);
    std::vector<Piece> pieces;
    const Bytes line = Join(source, 3000, &pieces);

    FrameAssembler assembler;
    std::vector<Payload> decoded;
    const std::size_t dropped =
        assembler.AssembleBytes(line.data(), line.size(), [&](const std::uint8_t* f) {
            Payload p;
            std::copy(f, f + PayloadLength, p.begin());
            decoded.push_back(p);
        });
    EXPECT_EQ(dropped, 0u);
    ASSERT_EQ(decoded.size(), pieces.size());

    // Re-encoding the decoded payload gives the piece back: FF doubled, then FF 00.
    int withFF = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        Bytes again;
        AppendLineFrame(again, decoded[i].data());
        ASSERT_EQ(again, pieces[i].Bytes) << "frame " << i;
        withFF += std::count(decoded[i].begin(), decoded[i].end(), 0xFF) > 0 ? 1 : 0;
    }
    EXPECT_GT(withFF, 20) << "the stream should exercise the escape";
}

// Each kind of fault, between good frames: never a frame that was not sent, and the
// assembler is in step again from the second good frame on.
TEST(LineFormat, FaultsNeverForgeAFrameAndTheStreamRecovers) {
    EngineSource source(3, true);
    std::vector<Piece> pieces;
    Join(source, 8000, &pieces);

    std::set<FaultKind> seen(source.Faults().begin(), source.Faults().end());
    EXPECT_EQ(seen.size(), 5u) << "every kind of fault should occur in 8000 pieces";

    FrameAssembler assembler;
    std::set<Bytes> good;
    std::size_t goodSent = 0;
    std::size_t accepted = 0;
    std::size_t dropped = 0;
    std::size_t recoveredAfterFault = 0;
    bool sawFault = false;
    int goodSinceFault = 0;
    for (const Piece& piece : pieces) {
        // A good frame is one that a fresh assembler takes whole.
        int alone = 0;
        FrameAssembler probe;
        const std::size_t probeDropped = probe.AssembleBytes(piece.Bytes.data(), piece.Bytes.size(),
                                                             [&](const std::uint8_t*) { ++alone; });
        const bool isGood = alone == 1 && probeDropped == 0 && probe.FramePos == 0;
        if (piece.PauseMs > 0) {
            EXPECT_TRUE(piece.Bytes.empty());
            EXPECT_GE(piece.PauseMs, 150);
            EXPECT_LE(piece.PauseMs, 500);
            continue;
        }
        bool acceptedHere = false;
        dropped += assembler.AssembleBytes(
            piece.Bytes.data(), piece.Bytes.size(), [&](const std::uint8_t* f) {
                Bytes line;
                AppendLineFrame(line, f);
                ASSERT_TRUE(good.count(line) == 1 || line == piece.Bytes)
                    << "a frame that was never sent";
                ++accepted;
                acceptedHere = true;
            });
        if (isGood) {
            good.insert(piece.Bytes);
            ++goodSent;
            ++goodSinceFault;
            if (sawFault && goodSinceFault == 2) {
                EXPECT_TRUE(acceptedHere) << "not in step two frames after a fault";
                recoveredAfterFault += acceptedHere ? 1 : 0;
            }
        } else {
            sawFault = true;
            goodSinceFault = 0;
        }
    }
    EXPECT_GT(dropped, 50u);
    EXPECT_LT(accepted, goodSent);
    EXPECT_GT(accepted, goodSent * 9 / 10);
    EXPECT_GT(recoveredAfterFault, 50u);
}

TEST(FrameLimit, CutsRightAfterTheFrameThatReachesTheLimit) {
    Bytes line;
    std::vector<std::size_t> ends;
    EngineSource source(1, false);
    Piece piece;
    for (int i = 0; i < 3; ++i) {
        source.Next(piece);
        line.insert(line.end(), piece.Bytes.begin(), piece.Bytes.end());
        ends.push_back(line.size());
    }
    const struct {
        std::uint64_t limit;
        std::size_t cut;
    } cases[] = {{0, 0}, {1, ends[0]}, {2, ends[1]}, {3, ends[2]}, {4, line.size()}};
    for (const auto& c : cases) {
        FrameCounter counter;
        EXPECT_EQ(counter.CutAfter(line.data(), line.size(), c.limit), c.cut)
            << "limit " << c.limit;
    }
    // After one frame has been counted, the next frame is the first from now.
    FrameCounter counter;
    counter.Feed(line.data(), ends[0]);
    EXPECT_EQ(counter.Frames(), 1u);
    EXPECT_EQ(counter.CutAfter(line.data() + ends[0], line.size() - ends[0], 1), ends[1] - ends[0]);
}

class TempFolder {
public:
    TempFolder() {
        char tmpl[] = "/tmp/vemor-sim-XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

TEST(Replay, SendsTheBodyAfterTheSixteenByteHeader) {
    TempFolder dir;
    Bytes file(16, 'h');
    for (int i = 0; i < 1000; ++i) {
        file.push_back(static_cast<std::uint8_t>(i * 37));
    }
    {
        std::ofstream out(dir / "cap", std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
    }
    ReplaySource source(dir / "cap");
    std::vector<Piece> pieces;
    const Bytes body = Join(source, 100000, &pieces);
    EXPECT_EQ(body, Bytes(file.begin() + 16, file.end()));
    for (const Piece& p : pieces) {
        EXPECT_LE(p.Bytes.size(), 64u) << "pieces are small enough to pace";
    }
}

TEST(Replay, RefusesShortMissingAndUnreadableFiles) {
    TempFolder dir;
    {
        std::ofstream out(dir / "short", std::ios::binary);
        out << "14:03:07";
    }
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {dir / "short", "shorter than the 16-byte header"},
        {dir / "missing", "No such file or directory"},
        {dir / "", "Is a directory"},
    };
    for (const auto& c : cases) {
        try {
            ReplaySource source(c.path);
            ADD_FAILURE() << c.path << " accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.path + ": "), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
}

bool Parse(std::vector<const char*> args, Options& o, std::string& error) {
    return ParseOptions(args, o, error);
}

TEST(CommandLine, ReadsEveryOption) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--port", "3", "--speed", "2.5", "--seed", "0x10", "--hold", "--frames",
                       "2000", "--unplug-after", "0.5", "--replug-after", "0", "--cycles", "20",
                       "--sent", "s.bin", "--faults"},
                      o, error))
        << error;
    EXPECT_EQ(o.Port, 3);
    EXPECT_EQ(o.Speed, 2.5);
    EXPECT_EQ(o.Seed, 16u);
    EXPECT_TRUE(o.Hold);
    EXPECT_EQ(o.Frames, 2000);
    EXPECT_EQ(o.UnplugAfter, 0.5);
    EXPECT_EQ(o.ReplugAfter, 0.0);
    EXPECT_EQ(o.Cycles, 20);
    EXPECT_EQ(o.Sent, "s.bin");
    EXPECT_TRUE(o.Faults);

    Options d;
    ASSERT_TRUE(Parse({}, d, error));
    EXPECT_EQ(d.Port, 10);
    EXPECT_EQ(d.Speed, 1.0);
    EXPECT_EQ(d.Frames, -1);
    EXPECT_EQ(d.UnplugAfter, -1);
}

TEST(CommandLine, RefusesBadValuesAndCombinations) {
    const std::vector<std::vector<const char*>> bad = {
        {"--port", "0"},
        {"--port", "256"},
        {"--port", "x"},
        {"--speed", "-1"},
        {"--speed", "nan"},
        {"--speed"},
        {"--seed", "-3"},
        {"--frames", "0"},
        {"--frames", "12k"},
        {"--unplug-after", "0"},
        {"--replug-after", "1"},
        {"--cycles", "3"},
        {"--replay", "f", "--faults"},
        {"--bogus"},
    };
    for (const auto& args : bad) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(Monitor, ReadyOnlyWhenRawEightNOneAtTheLineRate) {
    LineTermios cooked{};
    cooked.c_cflag = CS8 | CREAD | B38400;
    cooked.c_lflag = ICANON | ECHO | ISIG;
    cooked.c_iflag = ICRNL | IXON;
    cooked.c_ispeed = cooked.c_ospeed = 38400;
    const LineTermios working = MakeWorkingTermios(cooked, LineBaud);
    EXPECT_TRUE(MonitorReady(working));
    EXPECT_FALSE(MonitorReady(cooked));
    EXPECT_FALSE(MonitorReady(MakeWorkingTermios(cooked, 9600)));

    struct Change {
        const char* what;
        void (*apply)(LineTermios&);
    };
    const Change changes[] = {
        {"canonical input", [](LineTermios& t) { t.c_lflag |= ICANON; }},
        {"echo", [](LineTermios& t) { t.c_lflag |= ECHO; }},
        {"XON/XOFF", [](LineTermios& t) { t.c_iflag |= IXON; }},
        {"parity", [](LineTermios& t) { t.c_cflag |= PARENB; }},
        {"two stop bits", [](LineTermios& t) { t.c_cflag |= CSTOPB; }},
        {"seven bits", [](LineTermios& t) { t.c_cflag = (t.c_cflag & ~CSIZE) | CS7; }},
        {"input at another speed", [](LineTermios& t) { t.c_ispeed = 9600; }},
    };
    for (const Change& c : changes) {
        LineTermios t = working;
        c.apply(t);
        EXPECT_FALSE(MonitorReady(t)) << c.what;
    }
}

TEST(Monitor, ReadsTheSettingsThroughTheMaster) {
    Pty pty;
    EXPECT_FALSE(MonitorReady(pty.Master())) << "a fresh line is not set up";
    simtest::FakeMonitor monitor(pty.Path());
    monitor.SetUp();
    EXPECT_TRUE(MonitorReady(pty.Master()));
    monitor.Restore();
    EXPECT_FALSE(MonitorReady(pty.Master()));
}

TEST(Link, ReplacesALinkButNeverAFileAndRemovesOnlyItsOwn) {
    TempFolder dir;
    const std::string path = dir / "ports/com10";
    PortLink link(path);
    link.PointAt("/dev/pts/1");
    link.PointAt("/dev/pts/2");
    EXPECT_EQ(std::filesystem::read_symlink(path), "/dev/pts/2");

    // Someone else took the name over: it stays theirs.
    std::filesystem::remove(path);
    std::filesystem::create_symlink("/dev/pts/9", path);
    EXPECT_FALSE(link.RemoveIfOurs());
    EXPECT_EQ(std::filesystem::read_symlink(path), "/dev/pts/9");

    link.PointAt("/dev/pts/3");
    EXPECT_TRUE(link.RemoveIfOurs());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path)));

    std::ofstream(path) << "not a link";
    EXPECT_THROW(link.PointAt("/dev/pts/4"), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
}

TEST(Packets, PrintsEachPacketWholeAndMarksWhatIsNot) {
    const Bytes test = {0x2B, 0x0D, 0x01, 0x08, 0x00, 0x01, 0x02,
                        0x03, 0x04, 0x05, 0x06, 0x07, 0xA3};
    PacketPrinter printer;
    EXPECT_TRUE(printer.Feed(test.data(), 5).empty());
    EXPECT_EQ(printer.Feed(test.data() + 5, test.size() - 5),
              std::vector<std::string>{"2B 0D 01 08 00 01 02 03 04 05 06 07 A3"});

    const Bytes mixed = {0x41, 0x42, 0x2B, 0x04, 0x10, 0x00, 0x2B, 0x03};
    EXPECT_EQ(printer.Feed(mixed.data(), mixed.size()),
              (std::vector<std::string>{"41 42 (no packet)", "2B 04 10 00 (checksum wrong)"}));
    EXPECT_TRUE(printer.Pending());
    EXPECT_EQ(printer.Flush(), "2B 03 (incomplete packet)");
    EXPECT_EQ(printer.Flush(), "");
}

} // namespace
} // namespace vemor::sim
