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

TimeOfDay LocalTimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec};
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
