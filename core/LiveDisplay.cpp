#include "vemor/LiveDisplay.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vemor {

AxisRange ZoomedAbout(AxisRange range, double at, double steps) {
    const double factor = std::pow(WheelZoom, steps);
    return {at + (range.Min - at) * factor, at + (range.Max - at) * factor};
}

AxisRange BoundRange(AxisRange r, double lo, double hi, double minSpan) {
    const double size = r.Max - r.Min;
    if (r.Min >= lo && r.Max <= hi && size >= minSpan) {
        return r;
    }
    const double span = std::clamp(size, std::min(minSpan, hi - lo), hi - lo);
    const double lower = std::clamp((r.Min + r.Max) / 2 - span / 2, lo, hi - span);
    return {lower, lower + span};
}

LiveDisplay::LiveDisplay(const std::array<std::string, LabelCount>& captions)
    : texts_(captions),
      painted_(captions), history_{SeriesHistory(HistoryPoints), SeriesHistory(HistoryPoints),
                                   SeriesHistory(HistoryPoints), SeriesHistory(HistoryPoints),
                                   SeriesHistory(HistoryPoints), SeriesHistory(HistoryPoints)} {}

void LiveDisplay::SetLabelText(Label label, const std::string& text) {
    const auto i = static_cast<std::size_t>(label);
    if (texts_[i] == text) {
        return;
    }
    texts_[i] = text;
    if (text == painted_[i]) {
        changed_ &= ~(1u << i);
        return;
    }
    changed_ |= 1u << i;
    RequestPaint();
}

void LiveDisplay::ClearChanged() {
    for (std::size_t i = 0; i < texts_.size(); ++i) {
        if ((changed_ & (1u << i)) != 0) {
            painted_[i] = texts_[i];
        }
    }
    changed_ = 0;
}

void LiveDisplay::AppendY(int series, double y) {
    SeriesHistory& h = history_[static_cast<std::size_t>(series)];
    const std::int64_t x = h.Count();
    h.Append(y);
    if (series == 0) {
        if (lineLost_) {
            SetLineLost(false); // frames again after a close and a new open
        }
        if (stale_) {
            stale_ = false;
            StaleChanged(false);
        }
        bool changed = false;
        while (!lines_.empty() && lines_.front().X < h.FirstX()) {
            lines_.pop_front();
            changed = true;
        }
        if (markNext_) {
            markNext_ = false;
            lines_.push_back({x, chart::LineKind::Outage});
            changed = true;
        }
        if (changed) {
            LinesChanged();
        }
    }
    Appended(series, x, y);
    if (view_ == ChartView::ShowingPast && series == chart::SeriesCount - 1) {
        SetView(ChartView::Zoomed); // the painter holds the newest points again
    }
    RequestPaint();
}

double LiveDisplay::LastX(int series) const {
    return static_cast<double>(history_[static_cast<std::size_t>(series)].Count() - 1);
}

void LiveDisplay::ClearBottomAxisAutomatic() {
    // The painter sees the new view with the bounds it shows already in place.
    const ChartView before = std::exchange(view_, ChartView::Following);
    ApplyBottom();
    if (before != view_) {
        ViewChanged(before);
    }
}

void LiveDisplay::SetBottomAxisMaximum(double value) {
    bottom_.SetMaximum(value);
    ApplyBottom();
}

void LiveDisplay::SetBottomAxisMinimum(double value) {
    bottom_.SetMinimum(value);
    ApplyBottom();
}

void LiveDisplay::AddMark(double x) {
    const auto at = static_cast<std::int64_t>(x);
    if (at < history_[0].FirstX() || at >= history_[0].Count()) {
        return;
    }
    // A mark whose note was asked for may come after an outage that is newer.
    const auto place = std::upper_bound(lines_.begin(), lines_.end(), at,
                                        [](std::int64_t v, const ChartLine& l) { return v < l.X; });
    lines_.insert(place, {at, chart::LineKind::Mark});
    LinesChanged();
    RequestPaint();
}

void LiveDisplay::ApplyBottom() {
    if (bottom_.Showable()) {
        BottomChanged();
        RequestPaint();
    }
}

AxisRange LiveDisplay::OperatorBottom(AxisRange wanted) {
    const double oldest = std::min(static_cast<double>(history_[0].FirstX()), bottom_.Minimum());
    const AxisRange range = BoundRange(wanted, oldest, bottom_.Maximum(), MinimumSpan);
    if (view_ == ChartView::Following) {
        SetView(ChartView::Zoomed);
    }
    return range;
}

AxisRange LiveDisplay::OperatorLeft(AxisRange wanted) {
    return BoundRange(wanted, chart::LeftAxisMinimum, chart::LeftAxisMaximum, MinimumSpan);
}

void LiveDisplay::ShowingPast() {
    SetView(ChartView::ShowingPast);
}

void LiveDisplay::UndoZoom() {
    const ChartView before = std::exchange(view_, ChartView::Following);
    LeftReset();
    ApplyBottom();
    if (before != view_) {
        ViewChanged(before);
    }
}

void LiveDisplay::SetView(ChartView view) {
    if (view == view_) {
        return;
    }
    const ChartView before = view_;
    view_ = view;
    ViewChanged(before);
}

void LiveDisplay::SetLineLost(bool lost) {
    if (lost == lineLost_) {
        return;
    }
    lineLost_ = lost;
    markNext_ = !lost;
    if (lost) {
        SetStale();
    }
}

void LiveDisplay::SetStale() {
    if (!stale_) {
        stale_ = true;
        StaleChanged(true);
    }
}

} // namespace vemor
