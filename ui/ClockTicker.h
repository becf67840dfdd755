#pragma once
// Tick labels in time of day for an axis whose X counts seconds from a capture's start:
// the ticks fall on whole clock times ("17:09:40"), with milliseconds once they are closer
// than a second.

#include <qcustomplot.h>

namespace vemor {

class ClockTicker : public QCPAxisTickerTime {
public:
    // origin: the second of the day at X = 0.
    explicit ClockTicker(double origin);

protected:
    QVector<double> createTickVector(double tickStep, const QCPRange& range) override;
    QString getTickLabel(double tick, const QLocale& locale, QChar formatChar,
                         int precision) override;

private:
    double origin_;
};

} // namespace vemor
