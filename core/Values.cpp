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

int LabelByte(Label label) {
    switch (label) {
    case Label::RPM:
        return byte_pos::Rpm;
    case Label::Batt:
        return byte_pos::Battery;
    case Label::ECT:
        return byte_pos::Coolant;
    case Label::MAT:
        return byte_pos::Intake;
    case Label::PW:
        break;
    }
    return byte_pos::PulseWidth;
}

std::string LabelText(Label label, std::uint8_t b, char sep) {
    std::string t;
    switch (label) {
    case Label::RPM:
        // The blank in front of a zero speed is part of the original text.
        t = b == 0 ? std::string(" 0") : RpmNumber(b);
        t += " RPM";
        break;
    case Label::Batt:
        t = BatteryNumber(b, sep);
        t += " V Batt";
        break;
    case Label::ECT:
        t = TemperatureNumber(b);
        t += " \xB0"
             "C CLT";
        break;
    case Label::MAT:
        t = TemperatureNumber(b);
        t += " \xB0"
             "C IAT";
        break;
    case Label::PW:
        t = PulseWidthNumber(b, sep);
        t += " PW ";
        break;
    }
    return t;
}

FrameTexts LabelTexts(const std::uint8_t* frame, char sep) {
    const auto text = [&](Label l) {
        return LabelText(l, frame[static_cast<std::size_t>(LabelByte(l))], sep);
    };
    return {text(Label::RPM), text(Label::Batt), text(Label::ECT), text(Label::MAT),
            text(Label::PW)};
}

std::array<double, SeriesCount> ChartValues(const std::uint8_t* frame) {
    return {
        double(frame[byte_pos::Map]),        double(256 - frame[byte_pos::Rpm]),
        double(frame[byte_pos::PulseWidth]), double(frame[byte_pos::O2]),
        double(frame[byte_pos::Tps]),        double(frame[byte_pos::Byte14]),
    };
}

} // namespace vemor
