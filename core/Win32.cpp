// The only place where the core asks Windows for facts of the running system.
#include "vemor/Capture.h"

#include <windows.h>

namespace vemor {

namespace {

std::string LocaleText(LCTYPE what, const char* fallback) {
    char buf[80];
    const int n = GetLocaleInfoA(GetThreadLocale(), what, buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n - 1)) : std::string(fallback);
}

} // namespace

TimeFormat TimeFormatFromLocale() {
    TimeFormat tf;
    tf.Clock24 = LocaleText(LOCALE_ITIME, "1") == "1";
    tf.LeadingZeroHour = LocaleText(LOCALE_ITLZERO, "1") == "1";
    tf.DesignatorFirst = !tf.Clock24 && LocaleText(LOCALE_ITIMEMARKPOSN, "0") == "1";
    tf.Separator = LocaleText(LOCALE_STIME, ":");
    tf.Am = LocaleText(LOCALE_S1159, "AM");
    tf.Pm = LocaleText(LOCALE_S2359, "PM");
    return tf;
}

TimeOfDay LocalTimeOfDay() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wHour, now.wMinute, now.wSecond};
}

} // namespace vemor
