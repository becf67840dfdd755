#pragma once
// Numbers as the user's regional settings write them, read each time they are asked for, so
// that a change of the settings shows at the next text. GUI thread.

#include "vemor/Values.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace vemor {

inline std::string LocaleText(LCTYPE what) {
    char text[16] = {};
    const int n = GetLocaleInfoA(GetThreadLocale(), what, text, sizeof text);
    return std::string(text, n > 0 ? static_cast<std::size_t>(n - 1) : 0);
}

// The decimal separator the value texts use.
inline char SystemDecimalSeparator() {
    return DecimalSeparatorFrom(LocaleText(LOCALE_SDECIMAL));
}

// A count with the regional digit grouping ("12,345,678"), no decimals.
inline std::string CountText(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    // "3;0" repeats groups of three, "3;2;0" is 12,34,56,789; the format's Grouping has it
    // without the semicolons, the repeating zero implied and a final zero for no repeat.
    std::string grouping;
    for (char c : LocaleText(LOCALE_SGROUPING)) {
        if (c != ';') {
            grouping += c;
        }
    }
    if (!grouping.empty() && grouping.back() == '0') {
        grouping.pop_back();
    } else {
        grouping += '0';
    }
    std::string decimal = LocaleText(LOCALE_SDECIMAL);
    std::string thousand = LocaleText(LOCALE_STHOUSAND);
    NUMBERFMTA format{};
    format.Grouping = static_cast<UINT>(std::stoul("0" + grouping));
    format.lpDecimalSep = decimal.data();
    format.lpThousandSep = thousand.data();
    format.LeadingZero = 1; // else zero is written as nothing
    format.NegativeOrder = 1;
    char text[64];
    const int written =
        GetNumberFormatA(GetThreadLocale(), 0, digits.c_str(), &format, text, sizeof text);
    return written > 0 ? std::string(text, static_cast<std::size_t>(written - 1)) : digits;
}

} // namespace vemor
