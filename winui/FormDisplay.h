#pragma once
// The frame-to-display operations on the Win32 labels and strip chart. Label texts and the
// chart are painted together at the chart's folded repaint, at most 25 times a second.
// GUI thread only.

#include "Chart.h"
#include "vemor/Display.h"

#include <windows.h>

#include <array>
#include <string>

namespace vemor {

class FormDisplay final : public Display {
public:
    FormDisplay(std::array<HWND, 5> labels, StripChart& chart);

    void SetLabelText(Label label, const std::string& text) override;
    void AppendY(int series, double y) override;
    double LastX(int series) const override;
    bool BottomAxisAutomatic() const override { return automatic_; }
    void ClearBottomAxisAutomatic() override;
    void SetBottomAxisMaximum(double value) override;
    double BottomAxisMaximum() const override { return bottom_.Maximum(); }
    void SetBottomAxisMinimum(double value) override;

    // Puts the latest texts on the labels, each sized to its text; the chart's repaint does
    // this, and tests that read the labels.
    void ShowLabels();
    // The chart as the frames place it, undoing an operator's zoom.
    void UndoZoom();

private:
    void ApplyRange();

    std::array<HWND, 5> labels_;
    std::array<std::string, 5> texts_; // latest texts; shown at the next repaint
    std::array<bool, 5> changed_{};
    StripChart& chart_;
    bool automatic_ = false; // set when the operator zooms
    AxisBounds bottom_;
};

} // namespace vemor
