#include "ClockTicker.h"

#include <cmath>

namespace vemor {

namespace {
constexpr double DaySeconds = 86400;
}

ClockTicker::ClockTicker(double origin) : origin_(origin) {
    setTimeFormat(QStringLiteral("%h:%m:%s"));
}

QVector<double> ClockTicker::createTickVector(double tickStep, const QCPRange& range) {
    setTimeFormat(tickStep < 1 ? QStringLiteral("%h:%m:%s.%z") : QStringLiteral("%h:%m:%s"));
    QVector<double> ticks = QCPAxisTickerTime::createTickVector(
        tickStep, QCPRange(range.lower + origin_, range.upper + origin_));
    for (double& tick : ticks) {
        tick -= origin_;
    }
    return ticks;
}

QString ClockTicker::getTickLabel(double tick, const QLocale& locale, QChar formatChar,
                                  int precision) {
    // Past midnight the clock starts again.
    const double clock = std::fmod(tick + origin_, DaySeconds);
    return QCPAxisTickerTime::getTickLabel(clock < 0 ? clock + DaySeconds : clock, locale,
                                           formatChar, precision);
}

} // namespace vemor
