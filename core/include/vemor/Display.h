#pragma once
// What the frame-to-display sequence needs of a window and its chart, so that the sequence
// can run against the real window or against a recording fake. GUI thread only.

#include "vemor/ChartLook.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vemor {

enum class Label { RPM, Batt, ECT, MAT, PW };

// Raised by an axis that is asked for a maximum below its minimum or the reverse.
class AxisError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The bottom axis's two bounds, set one at a time with the chart's rule: a bound that would
// cross the other is refused with AxisError and changes nothing.
class AxisBounds {
public:
    AxisBounds(double minimum, double maximum) : minimum_(minimum), maximum_(maximum) {}
    void SetMaximum(double value);
    void SetMinimum(double value);
    double Minimum() const { return minimum_; }
    double Maximum() const { return maximum_; }
    // A window of zero width cannot be shown; it only exists between the two settings.
    bool Showable() const { return maximum_ > minimum_; }

private:
    double minimum_;
    double maximum_;
};

class Display {
public:
    virtual ~Display() = default;

    // Replaces the whole caption with an 8-bit (Latin-1) text.
    virtual void SetLabelText(Label label, const std::string& text) = 0;

    // Series by position 0..5 (Series1..Series6). The appended point gets
    // X = number of points appended to that series before.
    virtual void AppendY(int series, double y) = 0;
    virtual double LastX(int series) const = 0;

    virtual bool BottomAxisAutomatic() const = 0;
    // Also clears the automatic minimum and maximum.
    virtual void ClearBottomAxisAutomatic() = 0;
    // Both throw AxisError when the new bound would cross the other one.
    virtual void SetBottomAxisMaximum(double value) = 0;
    virtual double BottomAxisMaximum() const = 0;
    virtual void SetBottomAxisMinimum(double value) = 0;
    // The operator's mark: a thin line at x, the X of a point already shown.
    virtual void AddMark(double x) = 0;
};

// Shows one accepted frame (payload bytes 0..30): five labels, six appends, then the bottom
// axis moved to [m - 150, m], the maximum before the minimum.
void ShowFrame(const std::uint8_t* frame, Display& display, char decimalSeparator);

} // namespace vemor
