#include "vemor/Display.h"
#include "vemor/Values.h"

namespace vemor {

void AxisBounds::SetMaximum(double value) {
    if (value < minimum_) {
        throw AxisError("Axis maximum value must be greater than or equal to its minimum");
    }
    maximum_ = value;
}

void AxisBounds::SetMinimum(double value) {
    if (value > maximum_) {
        throw AxisError("Axis minimum value must be less than or equal to its maximum");
    }
    minimum_ = value;
}

void ShowFrame(const std::uint8_t* frame, Display& display, char decimalSeparator) {
    const FrameTexts texts = LabelTexts(frame, decimalSeparator);
    display.SetLabelText(Label::RPM, texts.Rpm);
    display.SetLabelText(Label::Batt, texts.Batt);
    display.SetLabelText(Label::ECT, texts.Ect);
    display.SetLabelText(Label::MAT, texts.Mat);
    display.SetLabelText(Label::PW, texts.Pw);

    const auto values = ChartValues(frame);
    for (int i = 0; i < SeriesCount; ++i) {
        display.AppendY(i, values[static_cast<std::size_t>(i)]);
    }

    // A mouse zoom may have switched the axis to automatic; the frame takes it back.
    if (display.BottomAxisAutomatic()) {
        display.ClearBottomAxisAutomatic();
    }
    const double m = display.LastX(0);
    display.SetBottomAxisMaximum(m);
    display.SetBottomAxisMinimum(display.BottomAxisMaximum() - VisibleXUnits);
}

} // namespace vemor
