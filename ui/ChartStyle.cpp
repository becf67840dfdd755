#include "ChartStyle.h"

#include <qcustomplot.h>

#include <algorithm>

namespace vemor::chart {

namespace {

const QColor Palette[] = {
    {255, 0, 0},     {0, 128, 0},     {255, 255, 0},   {0, 0, 255},     {255, 255, 255},
    {128, 128, 128}, {255, 0, 255},   {0, 128, 128},   {0, 0, 128},     {128, 0, 0},
    {0, 255, 0},     {128, 128, 0},   {128, 0, 128},   {192, 192, 192}, {0, 255, 255},
    {0, 0, 0},       {192, 220, 192}, {166, 202, 240}, {255, 251, 240}, {160, 160, 164},
};

std::array<SeriesLook, SeriesCount> Resolve() {
    // An invalid colour: none in the design, taken from the palette in chart order.
    std::array<SeriesLook, SeriesCount> s = {{
        {"Series1", "MAP", QColor(255, 255, 255), false},
        {"Series2", "RPM", QColor(255, 255, 0), false},
        {"Series3", "PW", QColor(), false},
        {"Series4", "O2", QColor(0, 255, 0), false},
        {"Series5", "TPS", QColor(0, 0, 255), false},
        {"Series6", "", QColor(), true},
    }};
    QColor used[SeriesCount];
    std::size_t n = 0;
    for (const SeriesLook& l : s) {
        if (l.Colour.isValid()) {
            used[n++] = l.Colour;
        }
    }
    for (SeriesLook& l : s) {
        if (!l.Colour.isValid()) {
            l.Colour = FirstFreeColour(used, n);
            used[n++] = l.Colour;
        }
    }
    return s;
}

} // namespace

QColor FirstFreeColour(const QColor* used, std::size_t count) {
    for (const QColor& c : Palette) {
        if (c != Background && c != BackWall && std::find(used, used + count, c) == used + count) {
            return c;
        }
    }
    return Qt::gray;
}

const std::array<SeriesLook, SeriesCount>& Series() {
    static const std::array<SeriesLook, SeriesCount> looks = Resolve();
    return looks;
}

QFont ValueFont() {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(12);
    f.setBold(true);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

QPen OutagePen() {
    return QPen(QColor(255, 0, 255), 0);
}

std::array<QCPGraph*, SeriesCount> Apply(QCustomPlot* c) {
    c->setBackground(Background);
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
    c->legend->setBrush(Background);
    c->legend->setBorderPen(Qt::NoPen);
    c->legend->setTextColor(Silver);
    c->legend->setIconSize(30, 12);
    c->legend->setMargins(QMargins(4, 0, 4, 2));

    for (QCPAxis* axis : {c->xAxis, c->yAxis}) {
        axis->setTickLabelColor(Silver);
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
        const SeriesLook& look = Series()[static_cast<std::size_t>(i)];
        QCPGraph* g = c->addGraph();
        g->setObjectName(QString::fromLatin1(look.Name));
        g->setName(QString::fromLatin1(look.Title));
        g->setPen(QPen(look.Colour, 2));
        g->setLineStyle(look.Stairs ? QCPGraph::lsStepLeft : QCPGraph::lsLine);
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        graphs[static_cast<std::size_t>(i)] = g;
    }
    return graphs;
}

} // namespace vemor::chart
