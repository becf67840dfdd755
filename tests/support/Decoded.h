#pragma once
// The decoder run in memory over capture bytes, and its cells beside the labels' texts.

#include "vemor/capture/Decode.h"
#include "vemor/capture/Output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vemor::testing {

// The output; a decode that fails fails the test.
inline std::string Decoded(const std::vector<std::uint8_t>& capture,
                           const decode::Options& options = {}) {
    decode::StringWriter out;
    const decode::Result r = decode::DecodeBytes(capture.data(), capture.size(), options, out);
    EXPECT_EQ(r.status, decode::Status::Ok) << r.message;
    return out.text;
}

// A label's text without its unit, which it must end with: the number the CSV holds.
inline std::string WithoutSuffix(const std::string& text, const std::string& suffix) {
    EXPECT_TRUE(text.ends_with(suffix)) << text;
    return text.substr(0, text.size() - std::min(suffix.size(), text.size()));
}

// The five label texts the monitor shows for a decoder's row, with that decimal separator.
inline std::array<std::string, 5> LabelsOf(const std::map<std::string, std::string>& row,
                                           char sep) {
    const auto local = [sep](std::string number) {
        std::replace(number.begin(), number.end(), '.', sep);
        return number;
    };
    return {(row.at("rpm") == "0" ? " 0" : row.at("rpm")) + " RPM",
            local(row.at("battery_v")) + " V Batt",
            row.at("coolant_c") + " \xB0"
                                  "C CLT",
            row.at("intake_c") + " \xB0"
                                 "C IAT",
            local(row.at("pulse_width")) + " PW "};
}

} // namespace vemor::testing
