// The only place where the core asks Windows for facts of the running system.
#include "vemor/Capture.h"
#include "vemor/Messages.h"
#include "vemor/SystemText.h"

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

WallTime LocalWallTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear,   now.wMonth,  now.wDay,         now.wHour,
            now.wMinute, now.wSecond, now.wMilliseconds};
}

std::string SystemErrorText(int err) {
    const auto id = static_cast<DWORD>(err) & 0xFFFF;
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                             id, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<char*>(&text), 0, nullptr);
    if (n == 0) {
        // A text with inserts gives nothing without insert arguments; its plain form will do.
        n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, id, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<char*>(&text), 0, nullptr);
    }
    std::string out;
    if (n != 0 && text != nullptr) {
        out.assign(text, n);
    }
    if (text != nullptr) {
        LocalFree(text);
    }
    // The system's texts end in a line break, which would leave a blank line in a box that
    // goes on with the device and the fix.
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

std::string SystemText(int err) {
    return TrimSystemText(SystemErrorText(err));
}

} // namespace vemor
