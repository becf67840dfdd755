#include "vemor/Capture.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <set>
#include <string>
#ifdef _WIN32
#include <windows.h>
#endif

namespace vemor {
namespace {

std::string Bytes(const std::uint8_t* p, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(p), n);
}

TEST(CaptureName, CountsUpFromOneAndSkipsTakenNames) {
    CaptureNamer namer;
    const std::set<std::string> taken{"TMP1.$$$", "TMP2.$$$"};
    auto isTaken = [&](const std::string& n) { return taken.count(n) > 0; };
    EXPECT_EQ(namer.NextName(isTaken), "TMP3.$$$");
    EXPECT_EQ(namer.NextName(isTaken), "TMP4.$$$");
}

TEST(CaptureName, CounterWrapsPastZero) {
    CaptureNamer namer;
    namer.SetCounter(65534);
    auto none = [](const std::string&) { return false; };
    EXPECT_EQ(namer.NextName(none), "TMP65535.$$$");
    EXPECT_EQ(namer.NextName(none), "TMP1.$$$");
}

TEST(CaptureName, AllNamesTakenIsReportedInsteadOfLooping) {
    CaptureNamer namer;
    int asked = 0;
    auto all = [&](const std::string&) {
        ++asked;
        return true;
    };
    EXPECT_EQ(namer.NextName(all), std::nullopt);
    EXPECT_EQ(asked, 65535);
    // The one free name is found wherever the counter stands.
    namer.SetCounter(100);
    auto only7 = [](const std::string& n) { return n != "TMP7.$$$"; };
    EXPECT_EQ(namer.NextName(only7), "TMP7.$$$");
}

TEST(CaptureHeader, TwentyFourHourTextsFillTheHeaderBackToBack) {
    auto header = StartHeader("14:03:07");
    EXPECT_EQ(Bytes(header.data(), 16), std::string("14:03:07\0\0\0\0\0\0\0\0", 16));
    auto stop = StopField("14:05:11");
    std::memcpy(header.data() + CaptureStopOffset, stop.data(), stop.size());
    EXPECT_EQ(Bytes(header.data(), 16), "14:03:0714:05:11");
}

TEST(CaptureHeader, TwelveHourTextsAreCutToTheirFields) {
    auto header = StartHeader("2:03:07 PM");
    EXPECT_EQ(Bytes(header.data(), 16), std::string("2:03:07 PM\0\0\0\0\0\0", 16));
    auto stop = StopField("2:05:11 PM");
    std::memcpy(header.data() + CaptureStopOffset, stop.data(), stop.size());
    EXPECT_EQ(Bytes(header.data(), 16), "2:03:07 2:05:11 ");
}

TEST(CaptureHeader, LongAndShortTextsAreBoundedAndZeroFilled) {
    const std::string longText(40, 'x');
    auto header = StartHeader(longText);
    EXPECT_EQ(Bytes(header.data(), 16), std::string(16, 'x'));
    auto stop = StopField("1:2");
    EXPECT_EQ(Bytes(stop.data(), 8), std::string("1:2\0\0\0\0\0", 8));
    EXPECT_EQ(Bytes(StopField("").data(), 8), std::string(8, '\0'));
}

TEST(TimeText, FormatsFollowTheRegionalSettings) {
    TimeFormat h24;
    TimeFormat h12{false, false, ":", "AM", "PM", false};
    TimeFormat h12lead{false, true, ":", "AM", "PM", false};
    TimeFormat h12first{false, false, ":", "AM", "PM", true};
    TimeFormat h24nolead{true, false, ".", "", "", false};
    struct Case {
        TimeOfDay t;
        const TimeFormat* f;
        const char* text;
    };
    const Case cases[] = {
        {{14, 3, 7}, &h24, "14:03:07"},        {{0, 0, 0}, &h24, "00:00:00"},
        {{23, 59, 59}, &h24, "23:59:59"},      {{14, 3, 7}, &h12, "2:03:07 PM"},
        {{0, 5, 0}, &h12, "12:05:00 AM"},      {{12, 0, 1}, &h12, "12:00:01 PM"},
        {{11, 59, 59}, &h12, "11:59:59 AM"},   {{9, 3, 7}, &h12lead, "09:03:07 AM"},
        {{14, 3, 7}, &h12first, "PM 2:03:07"}, {{7, 8, 9}, &h24nolead, "7.08.09"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeText(c.t, *c.f), c.text);
    }
}

TEST(TimeText, PosixFormatsAreUnderstood) {
    struct Case {
        const char* fmt;
        const char* ampm;
        bool clock24, leadingZero, designatorFirst;
        const char* separator;
    };
    const Case cases[] = {
        {"%H:%M:%S", "%I:%M:%S %p", true, true, false, ":"},
        {"%T", "", true, true, false, ":"},
        {"%r", "%I:%M:%S %p", false, true, false, ":"},
        {"%r", "%l:%M:%S %p", false, false, false, ":"},
        {"%p %I:%M:%S", "", false, true, true, ":"},
        {"%k.%M.%S", "", true, false, false, "."},
        {"%-I:%M:%S %p", "", false, false, false, ":"},
        {"%Hh%Mm%Ss", "", true, true, false, "h"},
        {"%R", "", true, true, false, ":"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fmt);
        const TimeFormat f = ParseTimeFormat(c.fmt, c.ampm, "AM", "PM");
        EXPECT_EQ(f.Clock24, c.clock24);
        EXPECT_EQ(f.LeadingZeroHour, c.leadingZero);
        EXPECT_EQ(f.DesignatorFirst, c.designatorFirst);
        EXPECT_EQ(f.Separator, c.separator);
    }
}

#ifdef _WIN32
TEST(TimeText, ThreadLocaleGivesTheRegionalClock) {
    const LCID before = GetThreadLocale();
    struct Case {
        LANGID language;
        const char* text;
    };
    const Case cases[] = {
        {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), "14:03:07"},
        {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), "2:03:07 PM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(SetThreadLocale(MAKELCID(c.language, SORT_DEFAULT)));
        EXPECT_EQ(TimeText({14, 3, 7}, TimeFormatFromLocale()), c.text);
    }
    SetThreadLocale(before);
    const TimeOfDay now = LocalTimeOfDay();
    EXPECT_GE(now.Hour, 0);
    EXPECT_LE(now.Hour, 23);
}
#else
TEST(TimeText, CLocaleGivesTheEightCharacterClock) {
    ASSERT_NE(std::setlocale(LC_TIME, "C"), nullptr);
    const TimeFormat f = TimeFormatFromLocale();
    EXPECT_EQ(TimeText({14, 3, 7}, f), "14:03:07");
    const TimeOfDay now = LocalTimeOfDay();
    EXPECT_GE(now.Hour, 0);
    EXPECT_LE(now.Hour, 23);
    EXPECT_EQ(TimeText(now, f).size(), 8u);
}
#endif

} // namespace
} // namespace vemor
