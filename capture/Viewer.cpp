#include "vemor/capture/Viewer.h"

#include "vemor/LiveDisplay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vemor::decode {

namespace {

// H:MM:SS.hh of the body's bytes at the line's rate.
std::string Duration(std::uint64_t bodyBytes, char sep) {
    return DurationText(static_cast<std::int64_t>(bodyBytes * 1000 / LineBytesPerSecond), sep);
}

// A trace value as the detail line shows it: the shortest of six significant digits.
std::string TraceText(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

double FewestX(XUnit unit) {
    return unit == XUnit::Frames
               ? ViewerModel::FewestFrames
               : ViewerModel::FewestFrames * FrameLength / static_cast<double>(LineBytesPerSecond);
}

} // namespace

std::pair<int, int> NewViewerPlace(const ScreenRect& opener, const ScreenRect& screen, int width,
                                   int height, const std::vector<std::pair<int, int>>& taken) {
    std::pair<int, int> at{opener.left + ViewerStep, opener.top + ViewerStep};
    // As many tries as there are places taken, and one more: a free one is among them.
    for (std::size_t tries = 0; tries <= taken.size(); ++tries) {
        if (at.first + width > screen.left + screen.width ||
            at.second + height > screen.top + screen.height) {
            at = {screen.left + ViewerStep * static_cast<int>(tries % 8),
                  screen.top + ViewerStep * static_cast<int>(tries % 8)};
        }
        if (std::find(taken.begin(), taken.end(), at) == taken.end()) {
            break;
        }
        at = {at.first + ViewerStep, at.second + ViewerStep};
    }
    return at;
}

ViewerModel::ViewerModel(std::string path, Loader load)
    : path_(std::move(path)), viewedId_(IdOf(path_)), load_(std::move(load)) {
    if (!load_) {
        load_ = [](const std::string& file, Progress* progress) {
            return LoadCapture(file, progress);
        };
    }
}

ViewerModel::~ViewerModel() {
    // The threads stop before what they read goes.
    exporting_.reset();
    loading_.reset();
}

std::string ViewerModel::FileName() const {
#ifdef _WIN32
    const std::size_t slash = path_.find_last_of("\\/:");
#else
    const std::size_t slash = path_.rfind('/');
#endif
    return slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

void ViewerModel::StartLoading() {
    loading_ =
        std::make_unique<Background<Loaded>>([file = path_, load = load_](Progress& progress) {
            try {
                return load(file, &progress);
            } catch (const std::exception& e) { // never out of the thread, which would end us
                return Loaded{{Status::InputError, file + ": " + e.what()}, {}};
            }
        });
}

double ViewerModel::Fraction() const {
    if (loading_) {
        return loading_->Fraction();
    }
    return exporting_ ? exporting_->Fraction() : 0.0;
}

ViewerModel::Event ViewerModel::Poll() {
    if (loading_) {
        return loading_->Done() ? FinishLoading() : Event{};
    }
    if (exporting_) {
        return exporting_->Done() ? FinishExport() : Event{};
    }
    return {};
}

ViewerModel::Event ViewerModel::FinishLoading() {
    Loaded loaded = std::move(loading_->Result());
    loading_.reset();
    if (loaded.result.status == Status::Changed) {
        return {Outcome::AskLoadAgain, loaded.result.message};
    }
    if (loaded.result.status != Status::Ok) {
        return {Outcome::Refused,
                "Cannot show " + path_ + " as a capture: " + loaded.result.message};
    }
    index_ = std::move(loaded.index);
    following_ = true;
    ShowAll();
    return {Outcome::Loaded, {}};
}

ViewerModel::Growth ViewerModel::Follow(std::string* why) {
    if (!index_ || !following_ || loading_ || exporting_) {
        return Growth::Same;
    }
    const double full = FullWidth(*index_, unit_);
    const bool all = lo_ <= 0 && hi_ >= full;
    const bool atEnd = hi_ >= full;
    bool grew = false;
    const Result result = GrowCapture(path_, *index_, grew);
    if (result.status != Status::Ok) {
        following_ = false;
        if (why != nullptr) {
            *why = result.message;
        }
        return Growth::Refused;
    }
    if (!grew) {
        return Growth::Same;
    }
    const double now = FullWidth(*index_, unit_);
    if (all) {
        ShowEverything();
    } else if (atEnd) {
        ShowRange(lo_ + (now - full), hi_ + (now - full));
    }
    return Growth::Changed;
}

std::string ViewerModel::AxisTitle() const {
    if (unit_ == XUnit::Frames) {
        return "frame";
    }
    return TickOrigin() ? "time of day (from the capture's journal)"
                        : "seconds from the start (offset / 6250)";
}

std::string ViewerModel::UnitChoice(XUnit unit) const {
    if (unit == XUnit::Seconds && index_ && index_->Journal() != nullptr) {
        return "X in time of day";
    }
    return UnitChoices[unit == XUnit::Frames ? 0 : 1];
}

std::string ViewerModel::UnitTip() const {
    if (index_ && index_->Journal() != nullptr) {
        return "Time of day as the capture's journal has it: when each byte arrived, exact "
               "across pauses, line losses and a closed port.";
    }
    return SecondsTip;
}

std::optional<double> ViewerModel::TickOrigin() const {
    return unit_ == XUnit::Seconds && index_ ? ClockOrigin(*index_) : std::nullopt;
}

std::vector<ViewerModel::MarkEntry> ViewerModel::Marks() const {
    std::vector<MarkEntry> marks;
    const JournalRecord* j = index_ ? index_->Journal() : nullptr;
    if (j == nullptr || !HasFrames()) {
        return marks;
    }
    for (const JournalMark& m : j->Marks()) {
        const WallTime at = WallTimeAt(m.ms);
        marks.push_back({MarkFrame(*index_, m),
                         "Mark " + m.number + " at " +
                             TimeText({at.Hour, at.Minute, at.Second}, TimeFormatFromLocale()) +
                             (m.note.empty() ? "" : ": " + m.note)});
    }
    return marks;
}

std::string ViewerModel::GoToMark(std::size_t mark) {
    const std::vector<MarkEntry> marks = Marks();
    if (mark >= marks.size()) {
        return {};
    }
    SetCursorFrame(marks[mark].frame);
    return marks[mark].text;
}

std::string ViewerModel::StepMark(int direction) {
    const std::vector<MarkEntry> marks = Marks();
    if (marks.empty()) {
        return NoMarkText;
    }
    // From the cursor, or from the middle of the view before there is one.
    const std::uint64_t from = cursor_ ? *cursor_ : FrameNear(*index_, (lo_ + hi_) / 2, unit_);
    if (direction > 0) {
        for (std::size_t m = 0; m < marks.size(); ++m) {
            if (marks[m].frame > from || (!cursor_ && marks[m].frame == from)) {
                return GoToMark(m);
            }
        }
    } else {
        for (std::size_t m = marks.size(); m-- > 0;) {
            if (marks[m].frame < from || (!cursor_ && marks[m].frame == from)) {
                return GoToMark(m);
            }
        }
    }
    return NoMarkText;
}

void ViewerModel::SetUnit(XUnit unit) {
    if (unit == unit_) {
        return;
    }
    if (!HasFrames()) {
        unit_ = unit;
        ShowAll();
        return;
    }
    const std::uint64_t first = FrameNear(*index_, lo_, unit_);
    const std::uint64_t last = FrameNear(*index_, hi_, unit_);
    unit_ = unit;
    ShowRange(FrameX(*index_, first, unit), FrameX(*index_, last, unit));
    if (cursor_) {
        SetCursorFrame(*cursor_);
    }
}

void ViewerModel::ShowAll() {
    playing_ = false;
    ShowEverything();
}

void ViewerModel::ShowEverything() {
    if (index_) {
        ShowRange(0, FullWidth(*index_, unit_));
    }
}

void ViewerModel::ShowRange(double lo, double hi) {
    if (lo > hi) {
        std::swap(lo, hi);
    }
    lo_ = lo;
    hi_ = hi;
    if (!index_) {
        return;
    }
    const double full = FullWidth(*index_, unit_);
    const double fewest = FewestX(unit_);
    const double pad = std::max(full * 0.02, fewest);
    const double size = hi - lo;
    const double centre = (lo + hi) / 2;
    const double width = std::clamp(size, fewest, full + 2 * pad);
    const double at = std::clamp(centre, -pad + width / 2, full + pad - width / 2);
    // A range already inside moves by no rounding error.
    if (std::abs(width - size) > 1e-9 * width || std::abs(at - centre) > 1e-9 * width) {
        lo_ = at - width / 2;
        hi_ = at + width / 2;
    }
}

double ViewerModel::XAt(double px) const {
    return lo_ + px / std::max(width_, 1) * (hi_ - lo_);
}

double ViewerModel::PixelOf(double x) const {
    return hi_ > lo_ ? (x - lo_) / (hi_ - lo_) * std::max(width_, 1) : 0;
}

View ViewerModel::Picture() const {
    return index_ ? BuildView(*index_, unit_, lo_, hi_, width_, sep_) : View{};
}

void ViewerModel::Wheel(double px, double steps) {
    playing_ = false;
    if (!index_) {
        return;
    }
    const AxisRange zoomed = ZoomedAbout({lo_, hi_}, XAt(px), steps);
    ShowRange(zoomed.Min, zoomed.Max);
}

void ViewerModel::StartDrag(double px) {
    playing_ = false;
    dragFrom_ = {lo_, hi_};
    dragPx_ = px;
}

void ViewerModel::DragTo(double px) {
    if (!index_ || !dragFrom_) {
        return;
    }
    const auto [lo, hi] = *dragFrom_;
    const double dx = (dragPx_ - px) / std::max(width_, 1) * (hi - lo);
    ShowRange(lo + dx, hi + dx);
}

void ViewerModel::ZoomToPixels(double from, double to) {
    playing_ = false;
    dragFrom_.reset();
    if (index_) {
        ShowRange(XAt(std::min(from, to)), XAt(std::max(from, to)));
    }
}

void ViewerModel::Click(double px) {
    playing_ = false;
    dragFrom_.reset();
    if (HasFrames()) {
        SetCursorFrame(FrameNear(*index_, XAt(px), unit_));
    }
}

void ViewerModel::SetCursorFrame(std::uint64_t frame) {
    playing_ = false;
    PlaceCursor(frame);
}

void ViewerModel::PlaceCursor(std::uint64_t frame) {
    if (!HasFrames()) {
        return;
    }
    cursor_ = std::min(frame, LastFrame());
    // Kept in view: the arrow keys may walk it off the edge.
    const double x = CursorX();
    const double size = hi_ - lo_;
    const double margin = size * CursorMarginPx / std::max(1, width_);
    if (x < lo_ + margin || x > hi_ - margin) {
        ShowRange(x - size / 2, x + size / 2);
    }
}

void ViewerModel::StepCursor(int frames) {
    playing_ = false;
    if (!HasFrames()) {
        return;
    }
    if (!cursor_) {
        SetCursorFrame(FrameNear(*index_, (lo_ + hi_) / 2, unit_));
        return;
    }
    const auto at = static_cast<std::int64_t>(*cursor_) + frames;
    SetCursorFrame(static_cast<std::uint64_t>(std::max<std::int64_t>(0, at)));
}

void ViewerModel::TogglePlay(std::int64_t nowMs) {
    if (playing_ || !HasFrames()) {
        playing_ = false;
        return;
    }
    if (!cursor_ || *cursor_ == LastFrame()) {
        // From the first frame in view, or again from the start once played to the end.
        PlaceCursor(cursor_ ? 0 : std::min(VisibleFrames().first, LastFrame()));
    }
    playFrom_ = OffsetSeconds(*index_, index_->End(*cursor_));
    playStartMs_ = nowMs;
    playing_ = true;
}

double ViewerModel::PlayedSeconds(std::int64_t nowMs) const {
    return playFrom_ + static_cast<double>(nowMs - playStartMs_) / 1000 * speed_;
}

void ViewerModel::ChangeSpeed(int doublings, std::int64_t nowMs) {
    if (playing_) {
        playFrom_ = PlayedSeconds(nowMs);
        playStartMs_ = nowMs;
    }
    speed_ = std::clamp(std::ldexp(speed_, doublings), SlowestSpeed, FastestSpeed);
}

bool ViewerModel::Advance(std::int64_t nowMs) {
    if (!playing_ || !HasFrames()) {
        return false;
    }
    // The last frame that had arrived by then, in the capture's own time.
    const std::uint64_t after = FramesIn(*index_, 0, PlayedSeconds(nowMs), XUnit::Seconds).second;
    std::uint64_t frame = std::max(after > 0 ? after - 1 : 0, *cursor_);
    if (frame >= LastFrame()) {
        frame = LastFrame();
        playing_ = false;
    }
    if (frame == *cursor_) {
        return false;
    }
    PlaceCursor(frame);
    return true;
}

std::string ViewerModel::SpeedText() const {
    const std::string speed = speed_ < 1 ? "1/" + std::to_string(std::lround(1 / speed_)) + "x"
                                         : std::to_string(std::lround(speed_)) + "x";
    return (playing_ ? "Playing at " : "Space plays at ") + speed;
}

double ViewerModel::CursorX() const {
    return cursor_ && index_ ? FrameX(*index_, *cursor_, unit_) : 0.0;
}

std::optional<ViewerModel::Reading> ViewerModel::CursorReading() const {
    if (!cursor_ || !index_) {
        return std::nullopt;
    }
    const Readout r = ReadFrame(*index_, *cursor_, sep_);
    Reading reading{{r.labels.Rpm, r.labels.Batt, r.labels.Ect, r.labels.Mat, r.labels.Pw}, {}};
    for (std::size_t t = 0; t < r.traces.size(); ++t) {
        reading.detail += std::string(TraceNames[t]) + " " + TraceText(r.traces[t]) + "   ";
    }
    reading.detail += "frame " + std::to_string(r.frame) + "   offset " + std::to_string(r.end);
    if (const JournalRecord* j = index_->Journal()) {
        std::string clock = WallText(j->MsAt(r.end)).substr(11); // the time of day
        std::replace(clock.begin(), clock.end(), '.', sep_);
        reading.detail += "   time " + clock;
    } else {
        reading.detail += "   time " + r.seconds + " s";
    }
    return reading;
}

std::string ViewerModel::SummaryText(const CountText& count) const {
    if (!index_) {
        return LoadingSummary();
    }
    const Summary& c = index_->Counts();
    const HeaderTimes times = ReadHeaderTimes(c.header);
    std::string text = "Start " + times.start + "   Stop " +
                       (times.stop.empty() ? "(none: not finished)" : times.stop) + "   Frames " +
                       count(c.frames) + "   Rejected stretches " + count(c.dropped) +
                       "   Dropped bytes " + count(c.DroppedBytes()) +
                       "   Partial frames: " + count(c.partialStartBytes) +
                       " bytes at the start, " + count(c.PartialEndBytes()) + " at the end";
    const JournalRecord* j = index_->Journal();
    if (j == nullptr) {
        text += "   Duration " + Duration(c.bodyBytes, sep_) + " at the line's rate";
        if (!index_->JournalError().empty()) {
            text += "   Journal not read: " + index_->JournalError();
        }
        return text;
    }
    std::size_t lost = 0;
    for (const JournalSpell& s : j->Spells()) {
        lost += s.kind == JournalSpell::Kind::LineLost ? 1 : 0;
    }
    // A capture still recorded runs to its newest byte, past its journal's last event.
    const auto span = std::max<std::int64_t>(
        j->SpanMs(), std::llround(OffsetSeconds(*index_, c.bodyBytes) * 1000));
    return text + "   Duration " + DurationText(span, sep_) + "   Marks " +
           count(j->Marks().size()) + "   Line lost " + count(lost) + "   Port closed " +
           count(j->Spells().size() - lost);
}

std::pair<std::uint64_t, std::uint64_t> ViewerModel::VisibleFrames() const {
    return index_ ? FramesIn(*index_, lo_, hi_, unit_) : std::pair<std::uint64_t, std::uint64_t>{};
}

std::string ViewerModel::ExportQuestion() const {
    if (!index_) {
        return {};
    }
    const auto [first, last] = VisibleFrames();
    if (first == 0 && last >= index_->Frames()) {
        return {};
    }
    return "Export the whole capture (" + std::to_string(index_->Frames()) +
           " frames) or the frames in view (" + std::to_string(first) + " to " +
           std::to_string(last == 0 ? 0 : last - 1) + ")?";
}

std::string ViewerModel::StartExport(const std::string& target, bool visibleOnly) {
    if (!index_ || exporting_) {
        return {};
    }
    const std::string refusal = ExportRefusal(target, viewedId_);
    if (!refusal.empty()) {
        return "Cannot export the CSV to " + target + ": " + refusal + ". Choose another name";
    }
    std::uint64_t first = 0;
    std::uint64_t last = index_->Frames();
    if (visibleOnly) {
        std::tie(first, last) = VisibleFrames();
    }
    exportPath_ = target;
    exporting_ = std::make_unique<Background<Result>>(
        [index = index_.get(), first, last, target](Progress& progress) {
            try {
                return ExportCsvFile(*index, first, last, target, &progress);
            } catch (const std::exception& e) {
                return Result{Status::OutputError, target + ": " + e.what()};
            }
        });
    return {};
}

void ViewerModel::CancelExport() {
    if (exporting_) {
        exporting_->Progress().cancel = true;
    }
}

ViewerModel::Event ViewerModel::FinishExport() {
    const Result result = exporting_->Result();
    exporting_.reset();
    switch (result.status) {
    case Status::Ok:
        return {Outcome::Exported, "Wrote " + exportPath_};
    case Status::Cancelled:
        return {Outcome::ExportCancelled, "Export cancelled; " + exportPath_ + " was not written"};
    default:
        return {Outcome::ExportFailed, "Cannot export the CSV: " + result.message};
    }
}

} // namespace vemor::decode
