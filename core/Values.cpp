#include "vemor/Values.h"

#include <charconv>
#include <cstdlib>

namespace vemor {

namespace {

void AppendUnsigned(std::string& out, std::uint64_t v) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
    (void)ec;
    out.append(digits, end);
}

constexpr std::int64_t Pow10(int n) {
    std::int64_t p = 1;
    while (n-- > 0) {
        p *= 10;
    }
    return p;
}

} // namespace

char DecimalSeparatorFrom(std::string_view localeSeparator) {
    return localeSeparator.size() == 1 ? localeSeparator.front() : '.';
}

void AppendFixed(std::string& out, std::int64_t num, std::int64_t den, int decimals, char sep) {
    const bool negative = num < 0;
    const std::uint64_t mag =
        negative ? 0 - static_cast<std::uint64_t>(num) : static_cast<std::uint64_t>(num);
    const std::uint64_t scale = static_cast<std::uint64_t>(Pow10(decimals));
    const std::uint64_t d = static_cast<std::uint64_t>(den);
    // Half away from zero on the magnitude: floor((2 * mag * scale + den) / (2 * den)).
    const std::uint64_t scaled = (2 * mag * scale + d) / (2 * d);
    if (negative && scaled != 0) {
        out.push_back('-');
    }
    AppendUnsigned(out, scaled / scale);
    if (decimals > 0) {
        out.push_back(sep);
        std::uint64_t frac = scaled % scale;
        for (std::uint64_t p = scale / 10; p > 0; p /= 10) {
            out.push_back(static_cast<char>('0' + frac / p));
            frac %= p;
        }
    }
}

std::string FormatFixed(std::int64_t num, std::int64_t den, int decimals, char sep) {
    std::string s;
    AppendFixed(s, num, den, decimals, sep);
    return s;
}

std::string RpmNumber(std::uint8_t b) {
    std::string s;
    AppendUnsigned(s, b == 0 ? 0u : 78120u / b);
    return s;
}

std::string BatteryNumber(std::uint8_t b, char sep) {
    return FormatFixed(b, 16, 2, sep);
}

std::string TemperatureNumber(std::uint8_t b) {
    return FormatFixed(5 * b - 320, 9, 0, '.');
}

std::string PulseWidthNumber(std::uint8_t b, char sep) {
    return FormatFixed(b, 10, 1, sep);
}

FrameTexts LabelTexts(const std::uint8_t* frame, char sep) {
    FrameTexts t;
    const std::uint8_t rpm = frame[byte_pos::Rpm];
    // The blank in front of a zero speed is part of the original text.
    t.Rpm = rpm == 0 ? std::string(" 0") : RpmNumber(rpm);
    t.Rpm += " RPM";
    t.Batt = BatteryNumber(frame[byte_pos::Battery], sep);
    t.Batt += " V Batt";
    t.Ect = TemperatureNumber(frame[byte_pos::Coolant]);
    t.Ect += " \xB0"
             "C CLT";
    t.Mat = TemperatureNumber(frame[byte_pos::Intake]);
    t.Mat += " \xB0"
             "C IAT";
    t.Pw = PulseWidthNumber(frame[byte_pos::PulseWidth], sep);
    t.Pw += " PW ";
    return t;
}

std::array<double, SeriesCount> ChartValues(const std::uint8_t* frame) {
    return {
        double(frame[byte_pos::Map]),        double(256 - frame[byte_pos::Rpm]),
        double(frame[byte_pos::PulseWidth]), double(frame[byte_pos::O2]),
        double(frame[byte_pos::Tps]),        double(frame[byte_pos::Byte14]),
    };
}

} // namespace vemor
