#pragma once
// Engineering values of a frame and their number texts. Texts are 8-bit (Windows-1252 /
// Latin-1): the degree sign is the single byte 0xB0.

#include "vemor/Display.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vemor {

// Payload byte positions that the display uses.
namespace byte_pos {
inline constexpr int Map = 3;
inline constexpr int Coolant = 4;
inline constexpr int Intake = 5;
inline constexpr int Battery = 6;
inline constexpr int O2 = 7;
inline constexpr int Rpm = 9;
inline constexpr int Tps = 12;
inline constexpr int Byte14 = 14;
inline constexpr int PulseWidth = 19;
} // namespace byte_pos

// The locale's separator when it is exactly one character, a full stop otherwise.
char DecimalSeparatorFrom(std::string_view localeSeparator);

// Fixed notation of num/den (den > 0) with `decimals` digits after the separator, rounded
// half away from zero; a minus sign only when the rounded text is not zero.
void AppendFixed(std::string& out, std::int64_t num, std::int64_t den, int decimals, char sep);
std::string FormatFixed(std::int64_t num, std::int64_t den, int decimals, char sep);

// Number parts, exactly as the labels show them.
std::string RpmNumber(std::uint8_t b);                  // "0" for b = 0, else 78120 / b
std::string BatteryNumber(std::uint8_t b, char sep);    // b * 0.0625, two decimals
std::string TemperatureNumber(std::uint8_t b);          // (5b - 320) / 9, whole degrees
std::string PulseWidthNumber(std::uint8_t b, char sep); // b * 0.1, one decimal

// The five label texts of a frame.
struct FrameTexts {
    std::string Rpm;  // LabelRPM
    std::string Batt; // LabelBatt
    std::string Ect;  // LabelECT
    std::string Mat;  // LabelMAT
    std::string Pw;   // LabelPW
};

using chart::SeriesCount; // one chart value of a frame per trace

// The payload byte a label's text follows, and its text for a value b of that byte: each
// label can show at most 256 texts.
int LabelByte(Label label);
std::string LabelText(Label label, std::uint8_t b, char sep);

// frame: at least 31 payload bytes.
FrameTexts LabelTexts(const std::uint8_t* frame, char sep);
// Y values for series positions 0..5: MAP, 256 - rpm byte, PW, O2, TPS, byte 14.
std::array<double, SeriesCount> ChartValues(const std::uint8_t* frame);

} // namespace vemor
