#include "GoldenCaptures.h"

#include "../support/Files.h"

#include "vemor/Capture.h"
#include "vemor/capture/Journal.h"
#include "vemor/capture/JournalRecord.h"

#include <random>

namespace vemor::decode::testing {

namespace {

const Bytes Pair = {0xFF, 0x00};

// n bytes without FF whose position in the run can be read back from their values.
Bytes Run(int n) {
    Bytes out;
    for (int j = 0; j < n; ++j) {
        out.push_back(static_cast<std::uint8_t>(j % 200 + 1));
    }
    return out;
}

struct Event {
    std::uint64_t offset;
    int ms; // after the start
    const char* event;
    const char* detail;
};

// A journal of lines as the monitor writes them.
std::string JournalOf(const WallTime& start, std::initializer_list<Event> events) {
    const std::int64_t base = WallMs(start);
    std::string text = JournalHeading;
    for (const Event& e : events) {
        text += JournalLine(e.offset, WallTimeAt(base + e.ms), e.event, e.detail);
    }
    return text;
}

} // namespace

Payload Sample(std::initializer_list<std::pair<int, int>> set) {
    return Payload::Counting(1).Set(set);
}

Bytes Header(const std::string& start, const char* stop) {
    const auto h = StartHeader(start);
    Bytes out(h.begin(), h.end());
    if (stop != nullptr) {
        const auto s = StopField(stop);
        std::copy(s.begin(), s.end(), out.begin() + CaptureStopOffset);
    }
    return out;
}

std::vector<GoldenCapture> GoldenCaptures() {
    using namespace byte_pos;
    // Sent single: the pair after it is taken for an escape.
    const Payload unescaped = Sample({{Rpm, 25}, {PayloadLength - 1, 0xFF}});
    const Bytes unescapedLast(unescaped.begin(), unescaped.end());
    Bytes cutOff = Sample({{Rpm, 62}}).Line();
    cutOff.resize(17);

    return {
        {"basic", "label numbers at their edges, doubled FF in several places",
         Cat({Header("14:03:07", "14:05:11"),
              Sample({{Rpm, 1},
                      {Battery, 201},
                      {Coolant, 0},
                      {Intake, 255},
                      {PulseWidth, 25},
                      {Map, 0xFF},
                      {O2, 0x80},
                      {Tps, 0},
                      {Byte14, 0xFF}})
                  .Line(),
              Sample({{Rpm, 0},
                      {Battery, 2},
                      {Coolant, 64},
                      {Intake, 243},
                      {PulseWidth, 0},
                      {30, 0xFF}})
                  .Line(),
              Sample({{Rpm, 255},
                      {Battery, 255},
                      {Coolant, 244},
                      {Intake, 63},
                      {PulseWidth, 255},
                      {10, 0xFF},
                      {11, 0x00}})
                  .Line(),
              Sample({{Rpm, 100}, {Battery, 194}, {Coolant, 100}, {Intake, 1}, {PulseWidth, 100}})
                  .Line(),
              Sample({{0, 0xFF}, {1, 0xFF}, {Battery, 0}}).Line()})},
        {"dropped", "joined mid-frame, wrong lengths, an unescaped FF, a wrapped buffer",
         Cat({Header("09:15:00", "09:20:30"), Bytes{0x01, 0x02, 0x03, 0x04, 0x05},
              Sample({{Rpm, 10}}).Line(), Sample({{Rpm, 20}}).Line(), Bytes(32, 0x11), Pair, Pair,
              unescapedLast, Pair, Sample({{Rpm, 30}}).Line(), Sample({{Rpm, 40}}).Line(), Run(543),
              Pair, Run(542), Pair, Sample({{Rpm, 50}}).Line(), Bytes{0xAA, 0xBB}})},
        {"twelve_hour", "started 2:03:07 PM, finished 2:05:11 PM",
         Cat({Header("2:03:07 PM", "2:05:11 PM"), Sample({{Rpm, 156}}).Line(),
              Sample({{Rpm, 157}}).Line()})},
        {"unfinished", "never finished: stop bytes zero, the last frame cut off",
         Cat({Header("14:03:07", nullptr), Sample({{Rpm, 60}}).Line(), Sample({{Rpm, 61}}).Line(),
              cutOff})},
        {"empty_body", "a capture during which nothing was received",
         Header("14:03:07", "14:03:09")},
        {"journal",
         "with its journal: marks at a frame's end, in one frame, after the last, a note to "
         "quote; the line lost and the port closed between frames",
         Cat({Header("17:09:05", "17:09:10"), vemor::testing::CountingFrames(6), Bytes(12, 0x11)}),
         JournalOf({2026, 12, 9, 17, 9, 5, 0},
                   {{0, 123, journal::Start, "TMP3.$$$"},
                    {0, 125, journal::PortOpened, "/dev/ttyUSB0"},
                    {0, 130, journal::Mark, "1"},
                    {66, 1000, journal::Time, ""},
                    {66, 1010, journal::Mark, "2: Kick back, at \"3000\" rpm"},
                    {70, 1100, journal::LineLost, "Input/output error"},
                    {70, 3100, journal::LineBack, ""},
                    {100, 3200, journal::Mark, "3"},
                    {120, 3250, journal::Mark, "4: two\tlines\nhere"},
                    {132, 3300, journal::PortClosed, "/dev/ttyUSB0"},
                    {132, 5300, journal::PortOpened, "/dev/ttyUSB0"},
                    {198, 5400, journal::Mark, "5"},
                    {205, 5450, journal::Mark, "6"},
                    {210, 5500, journal::Stop, ""}})},
    };
}

CaptureWithJournal OutageCapture() {
    const Bytes capture = Cat({Header("12:00:00", "12:00:11"), vemor::testing::VariedFrames(300)});
    const std::uint64_t body = capture.size() - CaptureHeaderLength;
    return {capture,
            JournalOf({2026, 12, 9, 12, 0, 0, 0}, {{0, 0, "start", "TMP1.$$$"},
                                                   {0, 0, "port-opened", "COM10"},
                                                   {3300, 528, "time", ""},
                                                   {4950, 792, "line-lost", "Input/output error"},
                                                   {4950, 10792, "line-back", ""},
                                                   {6600, 11056, "mark", "1"},
                                                   {8250, 11320, "mark", "2: a note, with a comma"},
                                                   {body, 11584, "stop", ""}})};
}

std::string WriteGolden(const TempDir& dir, const GoldenCapture& capture) {
    const std::string file = dir.File(capture.name + ".cap");
    vemor::testing::WriteFile(file, capture.bytes);
    if (!capture.journal.empty()) {
        vemor::testing::WriteFile(JournalName(file), capture.journal);
    }
    return file;
}

Bytes RandomCapture(unsigned seed, int frames) {
    std::mt19937 rng(seed);
    auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    Bytes out = Header("14:03:07", "14:05:11");
    for (int f = 0; f < frames; ++f) {
        if (below(20) == 0) {
            int n = below(600);
            n = n == PayloadLength ? n + 1 : n; // never a frame of the right length
            const Bytes run = Run(n);
            out.insert(out.end(), run.begin(), run.end());
            out.insert(out.end(), Pair.begin(), Pair.end());
        }
        Payload payload;
        for (auto& b : payload) {
            b = below(64) == 0 ? 0xFF : static_cast<std::uint8_t>(below(256));
        }
        AppendLineFrame(out, payload.data());
    }
    return out;
}

} // namespace vemor::decode::testing
