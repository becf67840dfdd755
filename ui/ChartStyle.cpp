#include "ChartStyle.h"

#include <qcustomplot.h>

#include <algorithm>

namespace vemor::chart {

QFont ValueFont() {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(12);
    f.setBold(true);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

QPen LinePen(LineKind kind) {
    return QPen(ToQColor(LineColour(kind)), 0, LineDashed(kind) ? Qt::DashLine : Qt::SolidLine);
}

std::array<QCPGraph*, SeriesCount> Apply(QCustomPlot* c) {
    c->setBackground(ToQColor(Background));
    c->axisRect()->setBackground(Qt::NoBrush);
    // Lines without antialiasing draw several times faster and look the same at width 2.
    c->setNotAntialiasedElements(QCP::aeAll);
    c->setPlottingHints(QCP::phFastPolylines | QCP::phCacheLabels);
    // One paint buffer for all layers: the selection rectangle is drawn rarely, and a buffer
    // of its own would be cleared and blended at every repaint.
    c->layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    // The chart paints its whole area itself; nothing behind it needs painting first.
    c->setAttribute(Qt::WA_OpaquePaintEvent);

    c->legend->setVisible(true);
    c->axisRect()->insetLayout()->take(c->legend);
    c->plotLayout()->addElement(1, 0, c->legend);
    c->plotLayout()->setRowStretchFactor(1, 0.001);
    c->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    c->legend->setBrush(ToQColor(Background));
    c->legend->setBorderPen(Qt::NoPen);
    c->legend->setTextColor(ToQColor(Silver));
    c->legend->setIconSize(30, 12);
    c->legend->setMargins(QMargins(4, 0, 4, 2));

    for (QCPAxis* axis : {c->xAxis, c->yAxis}) {
        axis->setTickLabelColor(ToQColor(Silver));
        axis->setBasePen(QPen(Qt::gray));
        axis->setTickPen(QPen(Qt::gray));
        axis->setSubTickPen(QPen(Qt::gray));
    }
    c->xAxis->setRange(0, BottomAxisDesignMaximum);
    c->xAxis->setNumberFormat(QStringLiteral("f"));
    c->xAxis->setNumberPrecision(0);
    c->yAxis->setRange(LeftAxisMinimum, LeftAxisMaximum);
    c->yAxis->setNumberFormat(QStringLiteral("g"));
    c->yAxis->setNumberPrecision(6);

    std::array<QCPGraph*, SeriesCount> graphs{};
    for (int i = 0; i < SeriesCount; ++i) {
        const TraceLook& look = Traces()[static_cast<std::size_t>(i)];
        QCPGraph* g = c->addGraph();
        g->setObjectName(QString::fromLatin1(look.Name));
        g->setName(QString::fromLatin1(look.Title));
        g->setPen(QPen(ToQColor(look.Colour), 2));
        g->setLineStyle(look.Stairs ? QCPGraph::lsStepLeft : QCPGraph::lsLine);
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        graphs[static_cast<std::size_t>(i)] = g;
    }
    return graphs;
}

} // namespace vemor::chart
