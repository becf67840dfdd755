#include "vemor/Values.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>

namespace vemor {
namespace {

// Independent reference: extended-precision value rounded half away from zero with roundl,
// then printed; the rounded value is never a tie, so printf's own rounding cannot interfere.
std::string Reference(long double value, int decimals, char sep) {
    const long double scale = std::pow(10.0L, decimals);
    const long double rounded = std::roundl(value * scale) / scale;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Lf", decimals, rounded);
    std::string s = buf;
    if (s == "-0" || s == "-0.0" || s == "-0.00") {
        s.erase(0, 1);
    }
    for (char& c : s) {
        if (c == '.') {
            c = sep;
        }
    }
    return s;
}

TEST(Values, EveryByteMatchesTheIndependentFormula) {
    for (char sep : {'.', ','}) {
        for (int b = 0; b < 256; ++b) {
            SCOPED_TRACE(b);
            const auto u = static_cast<std::uint8_t>(b);
            EXPECT_EQ(BatteryNumber(u, sep), Reference(b * 0.0625L, 2, sep));
            EXPECT_EQ(TemperatureNumber(u), Reference((5 * b - 320) * (1.0L / 9), 0, sep));
            EXPECT_EQ(PulseWidthNumber(u, sep), Reference(b * 0.1L, 1, sep));
            EXPECT_EQ(RpmNumber(u), b == 0 ? "0" : std::to_string(78120 / b));
        }
    }
}

TEST(Values, WorkedExamples) {
    struct Case {
        std::string (*fn)(std::uint8_t);
        int byte;
        const char* text;
    };
    auto batt = [](std::uint8_t b) { return BatteryNumber(b, '.'); };
    auto pw = [](std::uint8_t b) { return PulseWidthNumber(b, '.'); };
    const Case cases[] = {
        {batt, 0, "0.00"},
        {batt, 200, "12.50"},
        {batt, 201, "12.56"},
        {batt, 2, "0.13"},
        {batt, 194, "12.13"},
        {batt, 255, "15.94"},
        {TemperatureNumber, 0, "-36"},
        {TemperatureNumber, 1, "-35"},
        {TemperatureNumber, 63, "-1"},
        {TemperatureNumber, 64, "0"},
        {TemperatureNumber, 100, "20"},
        {TemperatureNumber, 243, "99"},
        {TemperatureNumber, 244, "100"},
        {TemperatureNumber, 255, "106"},
        {pw, 0, "0.0"},
        {pw, 25, "2.5"},
        {pw, 100, "10.0"},
        {pw, 255, "25.5"},
        {RpmNumber, 1, "78120"},
        {RpmNumber, 100, "781"},
        {RpmNumber, 255, "306"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.fn(static_cast<std::uint8_t>(c.byte)), c.text) << "byte " << c.byte;
    }
}

TEST(Values, FixedNotationRoundsHalvesAwayFromZero) {
    struct Case {
        long num, den;
        int decimals;
        const char* text;
    };
    const Case cases[] = {
        {1, 8, 2, "0.13"},  {-1, 8, 2, "-0.13"},    {5, 10, 0, "1"},
        {-5, 10, 0, "-1"},  {-4, 10, 0, "0"},       {-1, 1000, 2, "0.00"},
        {15, 10, 0, "2"},   {25, 10, 0, "3"},       {1000000, 1, 0, "1000000"},
        {7, 1, 3, "7.000"}, {999, 1000, 2, "1.00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatFixed(c.num, c.den, c.decimals, '.'), c.text)
            << c.num << "/" << c.den << " with " << c.decimals;
    }
}

TEST(Values, DecimalSeparatorIsTheLocalesOnlyWhenSingleCharacter) {
    EXPECT_EQ(DecimalSeparatorFrom(","), ',');
    EXPECT_EQ(DecimalSeparatorFrom("."), '.');
    EXPECT_EQ(DecimalSeparatorFrom(""), '.');
    EXPECT_EQ(DecimalSeparatorFrom("\xD9\xAB"), '.'); // Arabic separator, two bytes in UTF-8
}

std::array<std::uint8_t, 33> Frame() {
    std::array<std::uint8_t, 33> f{};
    f[31] = 0xFF;
    return f;
}

TEST(Values, LabelTextsCarryTheirUnits) {
    auto f = Frame();
    f[9] = 0;
    f[6] = 200;
    f[4] = 0;
    f[5] = 255;
    f[19] = 0;
    const FrameTexts t = LabelTexts(f.data(), '.');
    EXPECT_EQ(t.Rpm, " 0 RPM");
    EXPECT_EQ(t.Batt, "12.50 V Batt");
    EXPECT_EQ(t.Ect, "-36 \xB0"
                     "C CLT");
    EXPECT_EQ(t.Mat, "106 \xB0"
                     "C IAT");
    EXPECT_EQ(t.Pw, "0.0 PW ");

    f[9] = 1;
    f[19] = 25;
    const FrameTexts c = LabelTexts(f.data(), ',');
    EXPECT_EQ(c.Rpm, "78120 RPM");
    EXPECT_EQ(c.Batt, "12,50 V Batt");
    EXPECT_EQ(c.Pw, "2,5 PW ");
    EXPECT_EQ(c.Ect, t.Ect); // no separator in whole degrees
}

TEST(Values, ChartValuesTakeRawBytesAndInvertedSpeed) {
    auto f = Frame();
    f[3] = 10;
    f[9] = 0;
    f[19] = 25;
    f[7] = 70;
    f[12] = 120;
    f[14] = 140;
    EXPECT_EQ(ChartValues(f.data()), (std::array<double, 6>{10, 256, 25, 70, 120, 140}));
    f[9] = 1;
    EXPECT_EQ(ChartValues(f.data())[1], 255);
}

} // namespace
} // namespace vemor
