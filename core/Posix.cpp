// The only place where the core asks the C library for facts of the running system.
#include "vemor/Capture.h"
#include "vemor/Messages.h"
#include "vemor/SystemText.h"

#include <cstring>
#include <ctime>
#include <langinfo.h>

namespace vemor {

TimeFormat TimeFormatFromLocale() {
    return ParseTimeFormat(nl_langinfo(T_FMT), nl_langinfo(T_FMT_AMPM), nl_langinfo(AM_STR),
                           nl_langinfo(PM_STR));
}

// From the same clock as LocalWallTime: time() reads a coarser one that lags it by a tick,
// so that at a second's turn the header and the journal could differ by a second.
TimeOfDay LocalTimeOfDay() {
    const WallTime now = LocalWallTime();
    return {now.Hour, now.Minute, now.Second};
}

WallTime LocalWallTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    return {local.tm_year + 1900,
            local.tm_mon + 1,
            local.tm_mday,
            local.tm_hour,
            local.tm_min,
            local.tm_sec,
            static_cast<int>(now.tv_nsec / 1000000)};
}

std::string SystemErrorText(int err) {
    char buf[256];
    // GNU strerror_r may return a static string instead of filling buf.
    const char* text = strerror_r(err, buf, sizeof buf);
    return text != nullptr ? std::string(text) : std::string();
}

std::string SystemText(int err) {
    return TrimSystemText(SystemErrorText(err));
}

} // namespace vemor
