#pragma once
// A display that records every call and keeps a chart model with the real axis rules.

#include "vemor/Display.h"

#include <array>
#include <string>
#include <vector>

namespace vemor::testing {

class FakeDisplay : public Display {
public:
    std::vector<std::string> calls;
    std::array<std::string, 5> labels;
    std::array<std::vector<double>, 6> series;
    bool automatic = false;
    AxisBounds bottom{0, 150};
    std::vector<double> marks;

    void SetLabelText(Label label, const std::string& text) override {
        calls.push_back("label " + std::to_string(static_cast<int>(label)));
        labels[static_cast<std::size_t>(label)] = text;
    }
    void AppendY(int s, double y) override {
        calls.push_back("append " + std::to_string(s));
        series.at(static_cast<std::size_t>(s)).push_back(y);
    }
    double LastX(int s) const override {
        return static_cast<double>(series.at(static_cast<std::size_t>(s)).size()) - 1;
    }
    bool BottomAxisAutomatic() const override { return automatic; }
    void ClearBottomAxisAutomatic() override {
        calls.push_back("manual");
        automatic = false;
    }
    void SetBottomAxisMaximum(double v) override {
        calls.push_back("max");
        bottom.SetMaximum(v);
    }
    double BottomAxisMaximum() const override { return bottom.Maximum(); }
    void SetBottomAxisMinimum(double v) override {
        calls.push_back("min");
        bottom.SetMinimum(v);
    }
    void AddMark(double x) override { marks.push_back(x); }
};

} // namespace vemor::testing
