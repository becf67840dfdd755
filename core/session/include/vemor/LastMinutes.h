#pragma once
// What Save Last Minutes offers both windows: the spans to choose from, the one chosen at
// first, and how each is called.

#include <array>
#include <cstddef>
#include <string>

namespace vemor {

inline constexpr std::array<int, 3> LastMinutesChoices{1, 5, 10};
inline constexpr std::size_t LastMinutesPreselected = 1; // 5 minutes
inline constexpr const char* LastMinutesTitle = "Save Last Minutes";
inline constexpr const char* LastMinutesPrompt = "Save the received bytes of the last:";

// "1 minute", "5 minutes"
std::string MinutesText(int minutes);

} // namespace vemor
