// The simulator's parts in-process: the engine's behaviour, the line format of what it
// sends and its faults, the command line's refusals, the printing of the monitor's packets.
#include "SimKit.h"

#include "../support/Frames.h"

#include "vemor/Assembler.h"
#include "vemor/Values.h"
#include "vemor/sim/Engine.h"
#include "vemor/sim/Line.h"
#include "vemor/sim/Options.h"
#include "vemor/sim/Source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
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
    EngineSource engine(1, false);
    RandomSource random(1);
    for (Source* source : {static_cast<Source*>(&engine), static_cast<Source*>(&random)}) {
        SCOPED_TRACE(source == &engine ? "engine" : "random");
        std::vector<Piece> pieces;
        const Bytes line = Join(*source, 3000, &pieces);

        const vemor::testing::Parsed parsed = vemor::testing::Parse(line);
        const auto& decoded = parsed.frames;
        EXPECT_EQ(parsed.dropped, 0u);
        ASSERT_EQ(decoded.size(), pieces.size());

        // Re-encoding the decoded payload gives the piece back: FF doubled, then FF 00.
        int withFF = 0;
        std::array<std::set<std::uint8_t>, PayloadLength> values;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            ASSERT_EQ(decoded[i].Line(), pieces[i].Bytes) << "frame " << i;
            withFF += std::count(decoded[i].begin(), decoded[i].end(), 0xFF) > 0 ? 1 : 0;
            for (int k = 0; k < PayloadLength; ++k) {
                values[static_cast<std::size_t>(k)].insert(decoded[i][static_cast<std::size_t>(k)]);
            }
        }
        EXPECT_GT(withFF, 20) << "the stream should exercise the escape";
        if (source == &random) {
            // Every byte takes nearly every value, so every label and trace keeps changing.
            for (const auto& v : values) {
                EXPECT_GT(v.size(), 250u);
            }
        }
    }
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

bool Parse(std::vector<const char*> args, Options& o, std::string& error) {
    return ParseOptions(args, o, error);
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
        {"--random", "--faults"},
        {"--random", "--replay", "f"},
        {"--bogus"},
    };
    for (const auto& args : bad) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
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
