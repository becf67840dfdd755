// A capture's journal read back: which lines are events, the details as written, the time of
// any body offset, and the spells without a line or a port.
#include "vemor/capture/JournalRecord.h"
#include "vemor/capture/Journal.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace vemor {
namespace {

const std::int64_t Base = WallMs({2026, 12, 9, 17, 9, 5, 0});

struct Event {
    std::uint64_t offset;
    std::int64_t ms; // after Base
    const char* event;
    std::string detail = {};
};

std::string Lines(const std::vector<Event>& events) {
    std::string text = JournalHeading;
    for (const Event& e : events) {
        text += JournalLine(e.offset, WallTimeAt(Base + e.ms), e.event, e.detail);
    }
    return text;
}

TEST(JournalRecord, ReadsTheEventsAndPassesOverWhatIsNone) {
    const std::string good = "5\t2026-12-09\t17:09:06.000\ttime\t\n";
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::uint64_t> offsets;
        std::size_t passedOver;
    };
    const Case cases[] = {
        {"heading and events",
         Lines({{0, 0, journal::Start}, {5, 1000, journal::Time}}),
         {0, 5},
         0},
        {"saved with CRLF",
         "offset\tdate\ttime\tevent\tdetail\r\n0\t2026-12-09\t17:09:05.000\tstart\tx\r\n",
         {0},
         0},
        {"last line cut short", Lines({{0, 0, journal::Start}}) + good.substr(0, 20), {0}, 1},
        {"offset running back", Lines({{9, 0, journal::Start}}) + good, {9}, 1},
        {"four columns, no date, bad hour, no event, sign",
         "5\t2026-12-09\t17:09:06.000\ttime\n5\t20261209\t17:09:06.000\ttime\t\n"
         "5\t2026-12-09\t24:09:06.000\ttime\t\n5\t2026-12-09\t17:09:06.000\t\t\n"
         "+5\t2026-12-09\t17:09:06.000\ttime\t\n",
         {},
         5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const JournalRecord r(c.text);
        std::vector<std::uint64_t> offsets;
        for (const JournalEntry& e : r.Entries()) {
            offsets.push_back(e.offset);
        }
        EXPECT_EQ(offsets, c.offsets);
        EXPECT_EQ(r.PassedOver(), c.passedOver);
    }
    // A clock set back never runs the journal's time back.
    const JournalRecord back(Lines({{0, 5000, journal::Start}, {5, 1000, journal::Time}}));
    EXPECT_EQ(back.LastMs(), Base + 5000);
}

TEST(JournalRecord, DetailsComeBackAsTheyWereWritten) {
    const std::string notes[] = {
        "",
        "plain",
        "a\tb",
        "line\r\nend",
        "back\\slash",
        "\\x41 not an escape",
        "\x01\x1f\x7f",
        "trailing \\",
        "\xC3\xBC 8-bit kept",
        "3: note: with a colon",
    };
    std::vector<Event> events;
    for (const std::string& note : notes) {
        events.push_back({0, 0, journal::Mark, note});
    }
    const JournalRecord r(Lines(events));
    ASSERT_EQ(r.Entries().size(), std::size(notes));
    for (std::size_t i = 0; i < std::size(notes); ++i) {
        EXPECT_EQ(r.Entries()[i].detail, notes[i]);
        EXPECT_EQ(UnescapeJournalText(EscapeJournalText(notes[i])), notes[i]);
    }
    EXPECT_EQ(r.Marks().back().number, "3");
    EXPECT_EQ(r.Marks().back().note, "note: with a colon");
}

TEST(JournalRecord, TimeOfAnOffsetBetweenEventsAndAtJumps) {
    // The line lost at 100 for two seconds; 6250 bytes a second after the last event.
    const JournalRecord r(Lines({{0, 0, journal::Start},
                                 {0, 5, journal::PortOpened},
                                 {100, 1000, journal::LineLost},
                                 {100, 3000, journal::LineBack},
                                 {400, 3300, journal::Stop}}));
    const std::pair<std::uint64_t, std::int64_t> times[] = {
        {0, 0},      {49, 493},   {50, 503},   {100, 1000}, {101, 3001},
        {250, 3150}, {400, 3300}, {403, 3300}, {404, 3301}, {6650, 4300},
    };
    for (const auto& [offset, ms] : times) {
        EXPECT_EQ(r.MsAt(offset), Base + ms) << offset;
    }
    // The first byte whose exact time reaches it; in the jump, the first byte after it.
    const std::pair<std::int64_t, std::uint64_t> offsets[] = {
        {-10, 0},    {0, 0},      {503, 51},   {1000, 100},  {2000, 101},
        {3001, 101}, {3150, 250}, {3301, 407}, {4300, 6650},
    };
    for (const auto& [ms, offset] : offsets) {
        EXPECT_EQ(r.OffsetAt(static_cast<double>(Base + ms)), offset) << ms;
    }
    // Outside the jump the two are each other's inverse; the walking MsAt is the searching one.
    std::size_t next = 0;
    for (std::uint64_t o = 0; o < 7000; ++o) {
        ASSERT_EQ(r.MsAt(o, next), r.MsAt(o)) << o;
    }
    for (std::int64_t ms = 6; ms < 5000; ++ms) {
        if (ms > 1000 && ms <= 3000) {
            continue;
        }
        const auto at = static_cast<double>(Base + ms);
        const std::uint64_t o = r.OffsetAt(at);
        ASSERT_GE(r.ExactMsAt(o), at) << ms;
        ASSERT_LT(r.ExactMsAt(o - 1), at) << ms;
    }
}

TEST(JournalRecord, SpellsWithoutALineOrAPort) {
    using journal::LineBack, journal::LineLost, journal::PortClosed, journal::PortOpened;
    using journal::Start, journal::Stop, journal::Time;
    struct Case {
        const char* name;
        std::vector<Event> events;
        std::vector<std::string> spells; // "<offset> <from>-<to> <text>", ms after Base
    };
    const Case cases[] = {
        {"line lost and back",
         {{0, 0, Start},
          {0, 0, PortOpened},
          {70, 100, LineLost},
          {70, 1330, LineBack},
          {90, 2000, Stop}},
         {"70 100-1330 line lost 0:00:01.23"}},
        {"port closed and opened",
         {{0, 0, Start}, {0, 0, PortOpened}, {50, 500, PortClosed}, {50, 5500, PortOpened}},
         {"50 500-5500 port closed 0:00:05.00"}},
        {"started without the port, opened later",
         {{0, 0, Start}, {0, 10, Time}, {0, 2010, PortOpened}, {9, 3000, Stop}},
         {"0 0-2010 port closed 0:00:02.01"}},
        {"started on an open port", {{0, 0, Start}, {0, 2, PortOpened}, {9, 3000, Stop}}, {}},
        {"stopped while lost",
         {{0, 0, Start}, {0, 0, PortOpened}, {5, 100, LineLost}, {5, 900, Stop}},
         {"5 100-900 line lost 0:00:00.80"}},
        {"port closed while lost, never finished",
         {{0, 0, Start},
          {0, 0, PortOpened},
          {5, 100, LineLost},
          {5, 300, PortClosed},
          {5, 800, Time}},
         {"5 100-300 line lost 0:00:00.20", "5 300-800 port closed 0:00:00.50"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> spells;
        const JournalRecord r(Lines(c.events));
        for (const JournalSpell& s : r.Spells()) {
            spells.push_back(std::to_string(s.offset) + " " + std::to_string(s.fromMs - Base) +
                             "-" + std::to_string(s.toMs - Base) + " " + s.Text());
        }
        EXPECT_EQ(spells, c.spells);
    }
}

} // namespace
} // namespace vemor
