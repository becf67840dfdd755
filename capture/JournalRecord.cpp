#include "vemor/capture/JournalRecord.h"

#include "vemor/capture/Decode.h"
#include "vemor/capture/Journal.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <system_error>
#include <utility>

namespace vemor {

namespace {

constexpr std::int64_t DayMs = 86'400'000;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0));
}

bool Number(std::string_view text, std::uint64_t& value) {
    const auto* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return r.ec == std::errc() && r.ptr == end && !text.empty();
}

// "2026-12-09" and "17:09:41.123", exactly as the journal writes them.
bool ParseWhen(std::string_view date, std::string_view time, std::int64_t& ms) {
    if (date.size() != 10 || time.size() != 12 || date[4] != '-' || date[7] != '-' ||
        time[2] != ':' || time[5] != ':' || time[8] != '.') {
        return false;
    }
    std::uint64_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, f = 0;
    if (!Number(date.substr(0, 4), y) || !Number(date.substr(5, 2), mo) ||
        !Number(date.substr(8, 2), d) || !Number(time.substr(0, 2), h) ||
        !Number(time.substr(3, 2), mi) || !Number(time.substr(6, 2), s) ||
        !Number(time.substr(9, 3), f) || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 ||
        mi > 59 || s > 60) {
        return false;
    }
    ms =
        WallMs({static_cast<int>(y), static_cast<int>(mo), static_cast<int>(d), static_cast<int>(h),
                static_cast<int>(mi), static_cast<int>(s), static_cast<int>(f)});
    return true;
}

std::vector<std::string_view> Columns(std::string_view line) {
    std::vector<std::string_view> columns;
    std::size_t from = 0;
    while (true) {
        const std::size_t tab = line.find('\t', from);
        columns.push_back(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
        if (tab == std::string_view::npos) {
            return columns;
        }
        from = tab + 1;
    }
}

} // namespace

std::int64_t WallMs(const WallTime& t) {
    return DaysFromCivil(t.Year, static_cast<unsigned>(t.Month), static_cast<unsigned>(t.Day)) *
               DayMs +
           ((t.Hour * 60LL + t.Minute) * 60 + t.Second) * 1000 + t.Millisecond;
}

WallTime WallTimeAt(std::int64_t ms) {
    const std::int64_t days = (ms >= 0 ? ms : ms - (DayMs - 1)) / DayMs;
    std::int64_t rest = ms - days * DayMs;
    WallTime t;
    CivilFromDays(days, t.Year, t.Month, t.Day);
    t.Millisecond = static_cast<int>(rest % 1000);
    rest /= 1000;
    t.Second = static_cast<int>(rest % 60);
    t.Minute = static_cast<int>(rest / 60 % 60);
    t.Hour = static_cast<int>(rest / 3600);
    return t;
}

char* PutWallText(char* out, std::int64_t ms) {
    const WallTime t = WallTimeAt(ms);
    const auto digits = [&out](int v, int n) {
        for (int d = n - 1; d >= 0; --d) {
            out[d] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
        out += n;
    };
    if (t.Year >= 0 && t.Year <= 9999) {
        digits(t.Year, 4);
    } else {
        out = std::to_chars(out, out + 12, t.Year).ptr;
    }
    const std::pair<char, int> rest[] = {
        {'-', t.Month}, {'-', t.Day}, {' ', t.Hour}, {':', t.Minute}, {':', t.Second}};
    for (const auto& [sep, v] : rest) {
        *out++ = sep;
        digits(v, 2);
    }
    *out++ = '.';
    digits(t.Millisecond, 3);
    return out;
}

std::string WallText(std::int64_t ms) {
    char text[WallTextRoom];
    return std::string(text, PutWallText(text, ms));
}

std::string DurationText(std::int64_t ms, char sep) {
    const auto hundredths = static_cast<unsigned long long>(std::max<std::int64_t>(ms, 0) / 10);
    char text[40];
    std::snprintf(text, sizeof text, "%llu:%02u:%02u%c%02u", hundredths / 360000,
                  static_cast<unsigned>(hundredths / 6000 % 60),
                  static_cast<unsigned>(hundredths / 100 % 60), sep,
                  static_cast<unsigned>(hundredths % 100));
    return text;
}

std::string UnescapeJournalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        std::uint8_t hex = 0;
        if (c == 't') {
            out += '\t';
        } else if (c == 'n') {
            out += '\n';
        } else if (c == 'r') {
            out += '\r';
        } else if (c == 'x' && i + 2 < text.size() &&
                   std::from_chars(text.data() + i + 1, text.data() + i + 3, hex, 16).ptr ==
                       text.data() + i + 3) {
            out += static_cast<char>(hex);
            i += 2;
        } else {
            out += c; // "\\", and what no writer of ours escapes
        }
    }
    return out;
}

std::string JournalSpell::Text(char sep) const {
    return std::string(kind == Kind::LineLost ? "line lost " : "port closed ") +
           DurationText(toMs - fromMs, sep);
}

JournalRecord::JournalRecord(std::string_view text) {
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string_view::npos) {
            // A last line without its end was cut short while it was written.
            ++passedOver_;
            break;
        }
        std::string_view line = text.substr(from, end - from);
        from = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1); // saved again by an editor of the other system
        }
        const std::vector<std::string_view> c = Columns(line);
        JournalEntry e;
        if (c.size() != 5 || !Number(c[0], e.offset) || !ParseWhen(c[1], c[2], e.ms) ||
            c[3].empty() || (!entries_.empty() && e.offset < entries_.back().offset)) {
            const std::string_view heading(JournalHeading);
            passedOver_ += line == heading.substr(0, heading.size() - 1) ? 0 : 1;
            continue;
        }
        if (!entries_.empty()) {
            // A clock set back (or the change from summer time) never runs the time back.
            e.ms = std::max(e.ms, entries_.back().ms);
        }
        e.event = UnescapeJournalText(c[3]);
        e.detail = UnescapeJournalText(c[4]);
        entries_.push_back(std::move(e));
    }

    // The port is closed until it is opened; a capture started on an open port says so at
    // once, so only a start without it begins with a closed spell.
    // (The spells open now, with where and when they began.)
    JournalSpell lost{JournalSpell::Kind::LineLost, 0, 0, 0};
    JournalSpell closed{JournalSpell::Kind::PortClosed, 0, 0, 0};
    bool isLost = false;
    bool isClosed = false;
    bool afterStart = false;
    // A spell of no time (the port closed as the capture stopped) is no gap in it.
    const auto end = [this](JournalSpell& spell, bool& open, std::int64_t ms) {
        if (open && ms > spell.fromMs) {
            spell.toMs = ms;
            spells_.push_back(spell);
        }
        open = false;
    };
    const auto endLost = [&](std::int64_t ms) { end(lost, isLost, ms); };
    const auto endClosed = [&](std::int64_t ms) { end(closed, isClosed, ms); };
    const auto begin = [](JournalSpell& spell, bool& open, const JournalEntry& e) {
        spell.offset = e.offset;
        spell.fromMs = e.ms;
        open = true;
    };
    for (const JournalEntry& e : entries_) {
        const bool justStarted = afterStart;
        afterStart = false;
        if (e.event == journal::Start) {
            begin(closed, isClosed, e);
            afterStart = true;
        } else if (e.event == journal::PortOpened) {
            isClosed = isClosed && !justStarted;
            endClosed(e.ms);
        } else if (e.event == journal::PortClosed) {
            endLost(e.ms);
            begin(closed, isClosed, e);
        } else if (e.event == journal::LineLost) {
            begin(lost, isLost, e);
        } else if (e.event == journal::LineBack) {
            endLost(e.ms);
        } else if (e.event == journal::Stop) {
            endLost(e.ms);
            endClosed(e.ms);
        } else if (e.event == journal::Mark) {
            const std::size_t colon = e.detail.find(": ");
            marks_.push_back(
                {e.offset, e.ms, e.detail.substr(0, colon),
                 colon == std::string::npos ? std::string() : e.detail.substr(colon + 2)});
        }
    }
    if (!entries_.empty()) {
        // Still running when it was read, or ended by a crash.
        endLost(entries_.back().ms);
        endClosed(entries_.back().ms);
    }
    std::stable_sort(
        spells_.begin(), spells_.end(),
        [](const JournalSpell& a, const JournalSpell& b) { return a.fromMs < b.fromMs; });
}

double JournalRecord::ExactMsBefore(std::size_t next, std::uint64_t offset) const {
    if (entries_.empty()) {
        return 0;
    }
    if (next == entries_.size()) {
        const std::uint64_t beyond = offset - entries_.back().offset;
        return static_cast<double>(LastMs()) +
               static_cast<double>(beyond) * 1000 / decode::LineBytesPerSecond;
    }
    const JournalEntry& after = entries_[next];
    if (after.offset == offset || next == 0) {
        return static_cast<double>(after.ms);
    }
    const JournalEntry& before = entries_[next - 1];
    return static_cast<double>(before.ms) + static_cast<double>(after.ms - before.ms) *
                                                static_cast<double>(offset - before.offset) /
                                                static_cast<double>(after.offset - before.offset);
}

double JournalRecord::ExactMsAt(std::uint64_t offset) const {
    const auto next =
        std::lower_bound(entries_.begin(), entries_.end(), offset,
                         [](const JournalEntry& e, std::uint64_t o) { return e.offset < o; });
    return ExactMsBefore(static_cast<std::size_t>(next - entries_.begin()), offset);
}

std::int64_t JournalRecord::MsAt(std::uint64_t offset, std::size_t& next) const {
    while (next < entries_.size() && entries_[next].offset < offset) {
        ++next;
    }
    return std::llround(ExactMsBefore(next, offset));
}

std::uint64_t JournalRecord::OffsetAt(double ms) const {
    if (entries_.empty()) {
        return 0;
    }
    const auto next =
        std::lower_bound(entries_.begin(), entries_.end(), ms, [](const JournalEntry& e, double t) {
            return static_cast<double>(e.ms) < t;
        });
    const auto i = static_cast<std::size_t>(next - entries_.begin());
    // The estimate can be a byte off by rounding (21 / 300 * 300 is a little over 21): it is
    // settled on ExactMsAt's own figures, between the byte after the event before and last.
    const auto settle = [&](std::uint64_t o, std::uint64_t first, std::uint64_t last) {
        while (o > first && ExactMsBefore(i, o - 1) >= ms) {
            --o;
        }
        while (o < last && ExactMsBefore(i, o) < ms) {
            ++o;
        }
        return o;
    };
    if (next == entries_.end()) {
        const std::uint64_t after = entries_.back().offset;
        const double beyond = (ms - static_cast<double>(LastMs())) * decode::LineBytesPerSecond;
        // Bounded, as a time far beyond any capture would not fit an offset.
        const double bytes = std::min(std::ceil(beyond / 1000), 9e18);
        return settle(after + static_cast<std::uint64_t>(bytes), after + 1,
                      std::numeric_limits<std::uint64_t>::max());
    }
    if (next == entries_.begin()) {
        return next->offset;
    }
    const JournalEntry& before = *std::prev(next);
    if (next->offset == before.offset) {
        // Within the time the line stood still there: the next byte is the first after it.
        return next->offset + 1;
    }
    const double share =
        (ms - static_cast<double>(before.ms)) / static_cast<double>(next->ms - before.ms);
    return settle(before.offset + static_cast<std::uint64_t>(std::ceil(
                                      share * static_cast<double>(next->offset - before.offset))),
                  before.offset + 1, next->offset);
}

std::optional<JournalRecord> ReadJournalOf(const std::string& capturePath, std::string* error) {
    const std::string name = JournalName(capturePath);
    std::FILE* in = std::fopen(name.c_str(), "rb");
    if (in == nullptr) {
        const int why = errno;
        if (error != nullptr && why != ENOENT) {
            *error = name + ": " + std::generic_category().message(why);
        }
        return std::nullopt;
    }
    std::string text;
    char block[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) {
        text.append(block, got);
    }
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) {
        if (error != nullptr) {
            *error = name + ": cannot be read";
        }
        return std::nullopt;
    }
    JournalRecord record(text);
    if (record.Empty()) {
        if (error != nullptr) {
            *error = name + ": holds no event";
        }
        return std::nullopt;
    }
    return record;
}

} // namespace vemor
