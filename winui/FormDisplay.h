#pragma once
// The frame-to-display operations on the Win32 labels and strip chart: the model's newest
// texts go onto the labels at each folded paint, with the chart. GUI thread only.

#include "Chart.h"
#include "vemor/LiveDisplay.h"

#include <windows.h>

#include <array>
#include <memory>
#include <string>

namespace vemor {

// Puts the text on a label and sizes the label to it, in the label's font.
void PutLabelText(HWND label, const std::string& text);

class FormDisplay final : public LiveDisplay {
public:
    // Makes the chart on `parent`; the labels carry their design captions.
    FormDisplay(std::array<HWND, 5> labels, HWND parent, int chartId,
                const std::array<ChartSeries, StripChart::Count>& series, HFONT font);

    // Puts the latest texts on the labels; the chart's repaint does this, and tests that read
    // the labels.
    void ShowLabels();
    // Sizes each label once to fit every text it can show with this separator in its font,
    // so that a new text repaints the label alone and never moves or resizes a window.
    void FitLabels(char separator);
    StripChart& Chart() { return *chart_; }

protected:
    void RequestPaint() override { chart_->RequestRepaint(); }
    void BottomChanged() override { chart_->SetBottom(Bottom()); }
    void LeftReset() override;
    void StaleChanged(bool stale) override;

private:
    void PutLabel(std::size_t i);

    std::array<HWND, 5> labels_;
    std::array<std::string, LabelCount> captions_; // the design texts, for the labels' sizes
    std::unique_ptr<StripChart> chart_;
};

} // namespace vemor
