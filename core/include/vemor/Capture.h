#pragma once
// Raw capture file rules: the generated name, the 16-byte time header and the time text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vemor {

inline constexpr std::size_t CaptureHeaderLength = 16;
inline constexpr std::size_t CaptureStopOffset = 8;
inline constexpr std::size_t CaptureStopLength = 8;

// "TMP" + n + ".$$$", n from a 16-bit counter that skips 0. Names that `taken` reports
// are passed over. Owner: one thread (the GUI thread); the counter lives for the process.
class CaptureNamer {
public:
    using TakenFn = std::function<bool(const std::string& name)>;

    // The next free name, or nothing when every one of the 65535 names is taken.
    std::optional<std::string> NextName(const TakenFn& taken);
    void SetCounter(std::uint16_t value) { counter_ = value; }

private:
    std::uint16_t counter_ = 0;
};

std::string CaptureFileName(std::uint16_t number);

// Header as written at the start: the text cut after 16 bytes, zero bytes after its end.
std::array<std::uint8_t, CaptureHeaderLength> StartHeader(std::string_view timeText);
// Bytes 8..15 as written at the finish: the text cut after 8 bytes, zero bytes after it.
std::array<std::uint8_t, CaptureStopLength> StopField(std::string_view timeText);

// The long time format of the regional settings.
struct TimeFormat {
    bool Clock24 = true;
    bool LeadingZeroHour = true;
    std::string Separator = ":";
    std::string Am = "AM";
    std::string Pm = "PM";
    bool DesignatorFirst = false;
};

struct TimeOfDay {
    int Hour = 0; // 0..23
    int Minute = 0;
    int Second = 0;
};

// 14:03:07, 2:03:07 PM, PM 2:03:07 ... as the format says.
std::string TimeText(const TimeOfDay& time, const TimeFormat& format);

// Reads the time format from a POSIX LC_TIME format string (nl_langinfo(T_FMT)); %r expands
// to `ampmFormat` (T_FMT_AMPM). Conversions understood: %H %k %I %l %p %r %T %R.
TimeFormat ParseTimeFormat(std::string_view format, std::string_view ampmFormat,
                           std::string_view am, std::string_view pm);

// OS facts: the current LC_TIME format, and the local time of day.
TimeFormat TimeFormatFromLocale();
TimeOfDay LocalTimeOfDay();

// The local date and time to the millisecond, for a capture's journal.
struct WallTime {
    int Year = 1970, Month = 1, Day = 1; // Month 1..12
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};
WallTime LocalWallTime();

} // namespace vemor
