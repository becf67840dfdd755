#include "vemor/capture/View.h"

#include <algorithm>
#include <cmath>

namespace vemor::decode {

namespace {

// The first frame whose X is at least x.
std::uint64_t FirstFrameFrom(const CaptureIndex& index, double x, XUnit unit) {
    if (x <= 0) {
        return 0;
    }
    if (unit == XUnit::Seconds && index.Journal() != nullptr) {
        const JournalRecord& j = *index.Journal();
        const std::uint64_t offset = j.OffsetAt(static_cast<double>(j.FirstMs()) + x * 1000);
        return offset > index.Counts().bodyBytes ? index.Frames()
                                                 : index.FirstEndingAtOrAfter(offset);
    }
    const double limit =
        static_cast<double>(unit == XUnit::Frames ? index.Frames() : index.Counts().bodyBytes);
    const double scaled = unit == XUnit::Frames ? x : x * LineBytesPerSecond;
    if (scaled > limit) {
        return index.Frames();
    }
    const auto at = static_cast<std::uint64_t>(std::ceil(scaled));
    return unit == XUnit::Frames ? std::min(at, index.Frames()) : index.FirstEndingAtOrAfter(at);
}

void AddColumn(std::vector<Column>& columns, Column c) {
    if (!columns.empty()) {
        const Column& before = columns.back();
        c.lo = std::min(c.lo, before.hi);
        c.hi = std::max(c.hi, before.lo);
    }
    columns.push_back(c);
}

void AddFrame(View& view, const CaptureIndex& index, std::uint64_t frame, XUnit unit) {
    const double x = FrameX(index, frame, unit);
    for (int t = 0; t < SeriesCount; ++t) {
        const auto i = static_cast<std::size_t>(t);
        const double y = TraceValue(t, index.TraceByte(t, frame));
        if (view.eachFrame) {
            view.points[i].push_back({x, y});
        } else {
            AddColumn(view.columns[i], {x, y, y});
        }
    }
}

} // namespace

double TraceValue(int trace, std::uint8_t raw) {
    // Every trace follows one byte, so the core's values for a frame filled with that byte
    // give each trace's value of it.
    static const auto table = [] {
        std::array<std::array<double, 256>, SeriesCount> t{};
        for (int v = 0; v < 256; ++v) {
            std::array<std::uint8_t, PayloadLength> frame{};
            frame.fill(static_cast<std::uint8_t>(v));
            const auto values = ChartValues(frame.data());
            for (std::size_t s = 0; s < values.size(); ++s) {
                t[s][static_cast<std::size_t>(v)] = values[s];
            }
        }
        return t;
    }();
    return table[static_cast<std::size_t>(trace)][raw];
}

double OffsetSeconds(const CaptureIndex& index, std::uint64_t offset) {
    if (const JournalRecord* j = index.Journal()) {
        return (j->ExactMsAt(offset) - static_cast<double>(j->FirstMs())) / 1000;
    }
    return static_cast<double>(offset) / static_cast<double>(LineBytesPerSecond);
}

std::optional<double> ClockOrigin(const CaptureIndex& index) {
    if (const JournalRecord* j = index.Journal()) {
        constexpr std::int64_t DayMs = 86'400'000;
        return static_cast<double>(j->FirstMs() % DayMs) / 1000;
    }
    return std::nullopt;
}

double FrameX(const CaptureIndex& index, std::uint64_t frame, XUnit unit) {
    return unit == XUnit::Frames ? static_cast<double>(frame)
                                 : OffsetSeconds(index, index.End(frame));
}

std::uint64_t MarkFrame(const CaptureIndex& index, const JournalMark& mark) {
    return std::min(index.FirstEndingAtOrAfter(mark.offset),
                    index.Frames() > 0 ? index.Frames() - 1 : 0);
}

double GapX(const CaptureIndex& index, std::uint64_t frame, XUnit unit) {
    if (unit == XUnit::Frames) {
        return static_cast<double>(frame) - 0.5;
    }
    const std::uint64_t before = frame > 0 ? index.End(frame - 1) : 0;
    const std::uint64_t after =
        frame < index.Frames() ? index.End(frame) : index.Counts().bodyBytes;
    return (OffsetSeconds(index, before) + OffsetSeconds(index, after)) / 2;
}

double FullWidth(const CaptureIndex& index, XUnit unit) {
    if (unit == XUnit::Frames) {
        return index.Frames() > 1 ? static_cast<double>(index.Frames() - 1) : 1.0;
    }
    const JournalRecord* j = index.Journal();
    const double span = j != nullptr ? static_cast<double>(j->SpanMs()) / 1000 : 0.0;
    return std::max({OffsetSeconds(index, index.Counts().bodyBytes), span,
                     1.0 / static_cast<double>(LineBytesPerSecond)});
}

std::pair<std::uint64_t, std::uint64_t> FramesIn(const CaptureIndex& index, double lo, double hi,
                                                 XUnit unit) {
    const std::uint64_t first = FirstFrameFrom(index, lo, unit);
    return {first, std::max(first, FirstFrameFrom(index, std::nextafter(hi, HUGE_VAL), unit))};
}

std::uint64_t FrameNear(const CaptureIndex& index, double x, XUnit unit) {
    const std::uint64_t next = FirstFrameFrom(index, x, unit);
    if (next == 0) {
        return 0;
    }
    if (next >= index.Frames()) {
        return index.Frames() - 1;
    }
    const double before = x - FrameX(index, next - 1, unit);
    const double after = FrameX(index, next, unit) - x;
    return before <= after ? next - 1 : next;
}

namespace {

void AddJournal(View& view, const CaptureIndex& index, XUnit unit, double lo, double hi, char sep) {
    const JournalRecord* j = index.Journal();
    if (j == nullptr) {
        return;
    }
    const auto seconds = [j](std::int64_t ms) {
        return static_cast<double>(ms - j->FirstMs()) / 1000;
    };
    for (const JournalSpell& s : j->Spells()) {
        double from = 0;
        double to = 0;
        if (unit == XUnit::Frames) {
            from = to = GapX(index, index.FirstEndingAtOrAfter(s.offset + 1), unit);
        } else {
            from = seconds(s.fromMs);
            to = seconds(s.toMs);
        }
        if (to >= lo && from <= hi) {
            view.bands.push_back({from, to, s.kind, s.Text(sep)});
        }
    }
    for (const JournalMark& m : j->Marks()) {
        const double x =
            unit == XUnit::Frames ? static_cast<double>(MarkFrame(index, m)) : seconds(m.ms);
        if (x >= lo && x <= hi) {
            view.marks.push_back({x, m.number, m.note});
        }
    }
}

} // namespace

View BuildView(const CaptureIndex& index, XUnit unit, double lo, double hi, int columns, char sep) {
    View view;
    AddJournal(view, index, unit, lo, hi, sep);
    columns = std::max(columns, 1);
    const std::uint64_t frames = index.Frames();
    const auto [first, last] = FramesIn(index, lo, hi, unit);
    // Rejected stretches before the first frame shown up to the one after the last.
    const std::uint64_t gapsEnd = std::min(last, frames);
    view.eachFrame = last - first <= static_cast<std::uint64_t>(columns);
    if (first > 0) {
        AddFrame(view, index, first - 1, unit);
    }
    if (view.eachFrame) {
        for (std::uint64_t f = first; f < last; ++f) {
            AddFrame(view, index, f, unit);
        }
        for (std::uint64_t f = first; f <= gapsEnd; ++f) {
            if (index.RejectedBefore(f)) {
                view.rejects.push_back(GapX(index, f, unit));
            }
        }
    } else {
        // Pieces of the summary no longer than a column's share of frames, each counted in
        // the column where it starts: at most about two a column are read.
        const double width = (hi - lo) / columns;
        const std::uint64_t most = std::max<std::uint64_t>(1, (last - first) / columns);
        std::uint64_t f = first;
        for (int c = 0; c < columns && f < last; ++c) {
            const std::uint64_t to =
                c + 1 == columns
                    ? last
                    : std::clamp(FirstFrameFrom(index, lo + (c + 1) * width, unit), f, last);
            if (f == to) {
                continue;
            }
            Extent e;
            f += index.Piece(f, last, most, e);
            while (f < to) {
                Extent piece;
                f += index.Piece(f, last, most, piece);
                e.Widen(piece);
            }
            const double x = lo + (c + 0.5) * width;
            for (int t = 0; t < SeriesCount; ++t) {
                const auto i = static_cast<std::size_t>(t);
                const double a = TraceValue(t, e.lo[i]);
                const double b = TraceValue(t, e.hi[i]);
                AddColumn(view.columns[i], {x, std::min(a, b), std::max(a, b)});
            }
            if (e.rejected) {
                view.rejects.push_back(x);
            }
        }
        if (gapsEnd == frames && index.RejectedBefore(frames)) {
            view.rejects.push_back(GapX(index, frames, unit));
        }
    }
    if (last < frames) {
        AddFrame(view, index, last, unit);
    }
    return view;
}

} // namespace vemor::decode
