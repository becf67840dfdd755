#include "vemor/Capture.h"

#include <algorithm>
#include <cstring>

namespace vemor {

namespace {

// The time text is a C string: it ends at its first zero byte.
template <std::size_t N>
std::array<std::uint8_t, N> ZeroFilledCopy(std::string_view text) {
    std::array<std::uint8_t, N> out{};
    const std::size_t textEnd = std::min(text.find('\0'), text.size());
    std::memcpy(out.data(), text.data(), std::min(N, textEnd));
    return out;
}

void AppendTwoDigits(std::string& out, int v) {
    out.push_back(static_cast<char>('0' + v / 10 % 10));
    out.push_back(static_cast<char>('0' + v % 10));
}

} // namespace

std::string CaptureFileName(std::uint16_t number) {
    return "TMP" + std::to_string(number) + ".$$$";
}

std::optional<std::string> CaptureNamer::NextName(const TakenFn& taken) {
    for (int tries = 0; tries < 65535; ++tries) {
        counter_ = static_cast<std::uint16_t>(counter_ + 1);
        if (counter_ == 0) {
            counter_ = 1;
        }
        std::string name = CaptureFileName(counter_);
        if (!taken(name)) {
            return name;
        }
    }
    return std::nullopt;
}

std::array<std::uint8_t, CaptureHeaderLength> StartHeader(std::string_view timeText) {
    return ZeroFilledCopy<CaptureHeaderLength>(timeText);
}

std::array<std::uint8_t, CaptureStopLength> StopField(std::string_view timeText) {
    return ZeroFilledCopy<CaptureStopLength>(timeText);
}

std::string TimeText(const TimeOfDay& time, const TimeFormat& format) {
    int hour = time.Hour;
    const std::string& designator = hour < 12 ? format.Am : format.Pm;
    if (!format.Clock24) {
        hour %= 12;
        if (hour == 0) {
            hour = 12;
        }
    }
    std::string text;
    const bool withDesignator = !format.Clock24 && !designator.empty();
    if (withDesignator && format.DesignatorFirst) {
        text += designator;
        text += ' ';
    }
    if (format.LeadingZeroHour || hour >= 10) {
        AppendTwoDigits(text, hour);
    } else {
        text.push_back(static_cast<char>('0' + hour));
    }
    text += format.Separator;
    AppendTwoDigits(text, time.Minute);
    text += format.Separator;
    AppendTwoDigits(text, time.Second);
    if (withDesignator && !format.DesignatorFirst) {
        text += ' ';
        text += designator;
    }
    return text;
}

TimeFormat ParseTimeFormat(std::string_view format, std::string_view ampmFormat,
                           std::string_view am, std::string_view pm) {
    TimeFormat tf;
    tf.Am = std::string(am);
    tf.Pm = std::string(pm);

    // Expand the composite conversions first, so that one scan sees only simple ones.
    std::string expanded;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            expanded.push_back(format[i]);
            continue;
        }
        const char c = format[++i];
        if (c == 'r') {
            expanded += ampmFormat.empty() || ampmFormat.find("%r") != std::string_view::npos
                            ? std::string("%I:%M:%S %p")
                            : std::string(ampmFormat);
        } else if (c == 'T') {
            expanded += "%H:%M:%S";
        } else if (c == 'R') {
            expanded += "%H:%M";
        } else {
            expanded.push_back('%');
            expanded.push_back(c);
        }
    }

    std::size_t hourAt = std::string_view::npos;
    std::size_t designatorAt = std::string_view::npos;
    for (std::size_t i = 0; i + 1 < expanded.size(); ++i) {
        if (expanded[i] != '%') {
            continue;
        }
        std::size_t conv = i + 1;
        // Skip GNU flags and widths such as %-I or %_H.
        while (conv < expanded.size() && std::strchr("-_0^#", expanded[conv]) != nullptr) {
            ++conv;
        }
        if (conv >= expanded.size()) {
            break;
        }
        const char c = expanded[conv];
        const bool noPad = conv > i + 1 && (expanded[i + 1] == '-' || expanded[i + 1] == '_');
        if (hourAt == std::string_view::npos && std::strchr("HkIl", c) != nullptr) {
            hourAt = i;
            tf.Clock24 = c == 'H' || c == 'k';
            tf.LeadingZeroHour = (c == 'H' || c == 'I') && !noPad;
            // The separator is the literal text between the hour and the minutes.
            const std::size_t minute = expanded.find("%M", conv + 1);
            if (minute != std::string::npos) {
                tf.Separator = expanded.substr(conv + 1, minute - conv - 1);
            }
        } else if (c == 'p' || c == 'P') {
            designatorAt = i;
        }
        i = conv;
    }
    if (tf.Clock24) {
        tf.DesignatorFirst = false;
    } else {
        tf.DesignatorFirst = designatorAt != std::string_view::npos && designatorAt < hourAt;
    }
    return tf;
}

} // namespace vemor
