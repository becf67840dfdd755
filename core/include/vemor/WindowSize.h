#pragma once
// The monitor window's smallest client area, in design pixels (96 dpi; scaled with the
// screen): the whole control strip stays in view, the five labels (LabelPW ends at x = 800),
// Open, the chooser and Save File, with a strip of the chart below.

namespace vemor {

inline constexpr int MinimumClientWidth = 810;
inline constexpr int MinimumClientHeight = 300;

} // namespace vemor
