#include "vemor/Assembler.h"

#include "../support/Frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace vemor {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Recorder {
    FrameAssembler a;
    std::vector<Bytes> frames;
    int dropped = 0;

    void Feed(const Bytes& bytes) {
        for (std::uint8_t b : bytes) {
            dropped += a.AssembleByte(
                b, [&](const std::uint8_t* f) { frames.emplace_back(f, f + FrameLength); });
        }
    }

    void FeedBatch(const Bytes& bytes) {
        dropped += static_cast<int>(
            a.AssembleBytes(bytes.data(), bytes.size(), [&](const std::uint8_t* f) {
                frames.emplace_back(f, f + FrameLength);
            }));
    }
};

using testing::Cat;
using testing::Payload;

Payload Sample(int first = 0x10) {
    return Payload::Counting(first);
}

// The bytes closed by a pair without doubling any FF.
template <class Range>
Bytes WithPair(const Range& payload) {
    Bytes out(payload.begin(), payload.end());
    out.push_back(0xFF);
    out.push_back(0x00);
    return out;
}

TEST(Assembler, ExampleTable) {
    Payload ff5 = Sample();
    ff5[5] = 0xFF;
    Payload ff30 = Sample();
    ff30[30] = 0xFF;

    struct Case {
        const char* name;
        Bytes line;
        int accepted;
        int index; // checked payload index, -1 for none
        std::uint8_t value;
    };
    const Case cases[] = {
        {"plain 31 bytes then pair", Sample().Line(), 1, 0, 0x10},
        {"payload byte 5 is FF, sent doubled", ff5.Line(), 1, 5, 0xFF},
        {"last payload byte FF: FF FF FF 00", ff30.Line(), 1, 30, 0xFF},
        {"32 payload bytes then pair", WithPair(Bytes(32, 0x01)), 0, -1, 0},
        {"30 payload bytes then pair", WithPair(Bytes(30, 0x01)), 0, -1, 0},
        {"pair right after a pair", Cat({Sample().Line(), Bytes{0xFF, 0x00}}), 1, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder r;
        r.Feed(c.line);
        ASSERT_EQ(static_cast<int>(r.frames.size()), c.accepted);
        if (c.index >= 0) {
            EXPECT_EQ(r.frames[0][static_cast<std::size_t>(c.index)], c.value);
            EXPECT_EQ(r.frames[0][31], 0xFF);
            EXPECT_EQ(r.frames[0][32], 0x00);
        }
        EXPECT_EQ(r.a.FramePos, 0);
        EXPECT_EQ(r.a.SyncWord, 0);
    }
}

TEST(Assembler, AcceptedFrameCarriesThePayloadInLineOrder) {
    Payload payload = Sample();
    payload[0] = 0xFF;
    payload[1] = 0x00; // FF FF 00 inside the frame: payload FF then 00, no pair
    payload[17] = 0xFF;
    payload[18] = 0xFF;
    Recorder r;
    r.Feed(payload.Line());
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(Bytes(r.frames[0].begin(), r.frames[0].begin() + PayloadLength),
              Bytes(payload.begin(), payload.end()));
}

TEST(Assembler, BackToBackFramesAreAllAccepted) {
    Recorder r;
    for (int i = 0; i < 100; ++i) {
        r.Feed(Sample(i).Line());
    }
    EXPECT_EQ(r.frames.size(), 100u);
    EXPECT_EQ(r.dropped, 0);
}

TEST(Assembler, StreamJoinedMidFrameLosesOnlyThatFrame) {
    Bytes line = Sample().Line();
    Recorder r;
    r.Feed(Bytes(line.begin() + 12, line.end()));
    r.Feed(line);
    EXPECT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.dropped, 1);
}

TEST(Assembler, ZeroAfterPairIsData) {
    Payload p = Sample();
    p[0] = 0x00;
    Recorder r;
    r.Feed(Cat({Sample().Line(), p.Line()}));
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[1][0], 0x00);
}

TEST(Assembler, FirstFfAfterPairStartsAfresh) {
    // FF then another byte: a payload FF.
    Payload p = Sample();
    p[0] = 0xFF;
    p[1] = 0x42;
    Recorder r;
    Bytes stream = Sample().Line();
    stream.insert(stream.end(), p.begin(), p.end()); // unescaped FF followed by 0x42
    stream.push_back(0xFF);
    stream.push_back(0x00);
    r.Feed(stream);
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[1][0], 0xFF);
    EXPECT_EQ(r.frames[1][1], 0x42);
}

TEST(Assembler, UndoubledFfSwallowsThePairAndBothFramesAreDropped) {
    Payload p = Sample();
    p[30] = 0xFF;
    Bytes bad = WithPair(p); // last payload FF not doubled: FF FF 00 reads as escape + data
    Recorder r;
    r.Feed(Cat({bad, Sample().Line(), Sample().Line()}));
    EXPECT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.dropped, 1);
}

TEST(Assembler, WrapAt512CountsModulo512) {
    // The only FF is the first byte of the closing pair.
    for (const auto& [count, accepted] : {std::pair{545, 1}, std::pair{544, 0}}) {
        SCOPED_TRACE(count);
        Bytes stream(static_cast<std::size_t>(count - 2));
        for (std::size_t i = 0; i < stream.size(); ++i) {
            stream[i] = static_cast<std::uint8_t>(i % 250 + 1);
        }
        stream.push_back(0xFF);
        stream.push_back(0x00);
        Recorder r;
        r.Feed(stream);
        ASSERT_EQ(static_cast<int>(r.frames.size()), accepted);
        if (accepted) {
            EXPECT_EQ(r.frames[0], Bytes(stream.end() - FrameLength, stream.end()));
        }
    }
}

TEST(Assembler, FramePosNeverReachesBufferLength) {
    Recorder r;
    for (int i = 0; i < 5000; ++i) {
        r.Feed({static_cast<std::uint8_t>(i * 7 % 255)});
        ASSERT_LT(r.a.FramePos, FrameBufLength);
        ASSERT_GE(r.a.FramePos, 0);
    }
}

TEST(Assembler, ResetMidFrameDropsThatFrameAndKeepsTheNext) {
    Bytes line = Sample().Line();
    Recorder r;
    r.Feed(Bytes(line.begin(), line.begin() + 20));
    r.a.ResetAssembler();
    EXPECT_EQ(r.a.FramePos, 0);
    EXPECT_EQ(r.a.SyncWord, 0);
    r.Feed(Bytes(line.begin() + 20, line.end()));
    r.Feed(line);
    EXPECT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.dropped, 1);
}

TEST(Assembler, ResetBetweenTheTwoBytesOfAPairHidesThatPair) {
    Bytes line = Sample().Line();
    Recorder r;
    r.Feed(Bytes(line.begin(), line.end() - 1)); // up to the FF of the pair
    r.a.ResetAssembler();
    r.Feed({0x00});
    EXPECT_EQ(r.frames.size(), 0u);
    EXPECT_EQ(r.a.FramePos, 1);
    r.Feed(line); // runs on: 1 + 33 bytes at the next pair
    EXPECT_EQ(r.frames.size(), 0u);
    EXPECT_EQ(r.dropped, 1);
    r.Feed(line);
    EXPECT_EQ(r.frames.size(), 1u);
}

TEST(Assembler, ResetKeepsTheBufferBytes) {
    Recorder r;
    r.Feed({0x11, 0x22});
    r.a.ResetAssembler();
    EXPECT_EQ(r.a.FrameBuf[0], 0x11);
    EXPECT_EQ(r.a.FrameBuf[1], 0x22);
}

TEST(Assembler, FailingConsumerLeavesFrameUnresetAndNextFrameIsDropped) {
    FrameAssembler a;
    Bytes line = Sample().Line();
    int shown = 0;
    auto throwing = [&](const std::uint8_t*) {
        ++shown;
        throw std::runtime_error("display failed");
    };
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        a.AssembleByte(line[i], throwing);
    }
    EXPECT_THROW(a.AssembleByte(line.back(), throwing), std::runtime_error);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(a.FramePos, 33);
    EXPECT_EQ(a.SyncWord, 0xFF00);

    int accepted = 0;
    auto counting = [&](const std::uint8_t*) { ++accepted; };
    for (std::uint8_t b : Cat({line, line})) {
        a.AssembleByte(b, counting);
    }
    EXPECT_EQ(accepted, 1);
}

TEST(Assembler, AssemblyDoesNotDependOnHowTheStreamIsSplit) {
    Bytes stream;
    for (int i = 0; i < 40; ++i) {
        Payload p = Sample(i * 13);
        p[static_cast<std::size_t>(i % 31)] = 0xFF;
        AppendLineFrame(stream, p.data());
    }
    Recorder whole;
    whole.Feed(stream);
    for (std::size_t piece : {1u, 7u, 20u, 64u}) {
        Recorder split;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            split.FeedBatch(Bytes(
                stream.begin() + static_cast<std::ptrdiff_t>(at),
                stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), at + piece))));
        }
        EXPECT_EQ(split.frames, whole.frames);
        EXPECT_EQ(split.a.FramePos, whole.a.FramePos);
        EXPECT_EQ(split.a.SyncWord, whole.a.SyncWord);
    }
    EXPECT_EQ(whole.frames.size(), 40u);
}

TEST(Assembler, BatchReportsWhereEachFrameAndEachDropEnded) {
    Bytes stream = Cat({Bytes{0x01, 0x02}, Sample().Line(), Bytes(5, 0x03), Sample().Line()});
    FrameAssembler a;
    std::vector<std::size_t> ends, drops;
    const std::size_t dropped = a.AssembleBytes(
        stream.data(), stream.size(),
        [&](const std::uint8_t*, std::size_t i) { ends.push_back(i); },
        [&](std::size_t i) { drops.push_back(i); });
    // The first pair ends a 35-byte frame (dropped), the second a 38-byte one.
    EXPECT_EQ(dropped, 2u);
    EXPECT_TRUE(ends.empty());
    EXPECT_EQ(drops, (std::vector<std::size_t>{34, 72}));
    const Bytes good = Cat({Sample().Line(), Sample().Line()});
    a.ResetAssembler();
    a.AssembleBytes(good.data(), good.size(),
                    [&](const std::uint8_t*, std::size_t i) { ends.push_back(i); });
    EXPECT_EQ(ends, (std::vector<std::size_t>{32, 65}));
}

// A literal transcription of the rules, with modulo arithmetic, to compare against.
struct ReferenceAssembler {
    std::uint8_t buf[512] = {};
    unsigned sync = 0;
    unsigned pos = 0;
    std::vector<Bytes> frames;
    int dropped = 0;
    void Feed(std::uint8_t b) {
        sync = (sync * 256 + b) % 65536;
        buf[pos] = b;
        if (sync == 0xFFFF) {
            sync = 0xFF00;
            return;
        }
        pos = (pos + 1) % 512;
        if (sync == 0xFF00) {
            if (pos == 33) {
                frames.emplace_back(buf, buf + 33);
            } else {
                ++dropped;
            }
            pos = 0;
            sync = 0;
        }
    }
};

TEST(Assembler, RandomStreamsMatchTheReferenceRules) {
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 24;
    };
    for (int round = 0; round < 50; ++round) {
        // Well-formed frames with FF-rich payloads, mixed with junk, so that accepted and
        // dropped frames, escapes and wraps all occur.
        Bytes stream;
        while (stream.size() < 3000) {
            const unsigned r = next();
            Bytes p(PayloadLength);
            for (auto& b : p) {
                const unsigned v = next();
                b = v < 40 ? 0xFF : v < 80 ? 0x00 : static_cast<std::uint8_t>(v);
            }
            if (r < 180) {
                AppendLineFrame(stream, p.data());
            } else {
                stream.insert(stream.end(), p.begin(), p.begin() + static_cast<int>(r % 31));
            }
        }
        ReferenceAssembler ref;
        for (std::uint8_t b : stream) {
            ref.Feed(b);
        }
        Recorder batch;
        batch.FeedBatch(stream);
        ASSERT_GT(ref.frames.size(), 10u);
        ASSERT_GT(ref.dropped, 0);
        ASSERT_EQ(ref.frames, batch.frames);
        ASSERT_EQ(ref.dropped, batch.dropped);
        ASSERT_EQ(static_cast<int>(ref.pos), batch.a.FramePos);
        ASSERT_EQ(ref.sync, batch.a.SyncWord);
        ASSERT_TRUE(std::equal(ref.buf, ref.buf + 512, batch.a.FrameBuf.begin()));
    }
}

} // namespace
} // namespace vemor
