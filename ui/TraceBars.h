#pragma once
// The six traces of a zoomed-out chart, where every pixel column stands for many frames:
// each column's extent drawn as a bar of the trace's pen width, in the traces' order. The
// bars are written straight into one image a row at a time and the image is drawn once: a
// painter would fill every bar's every pixel row as a span of its own, which for six traces
// of values that swing over the whole axis costs several times a redraw's budget. GUI thread.

#include "vemor/capture/View.h"

#include <QImage>
#include <QPen>
#include <qcustomplot.h>

#include <array>
#include <vector>

namespace vemor {

class TraceBars final : public QCPLayerable {
public:
    // Drawn on the axis rect's current layer, above what was added to it before.
    TraceBars(QCPAxisRect* rect, const std::array<QPen, 6>& pens);

    // Empty columns draw nothing: the graphs show the frames themselves.
    std::array<std::vector<decode::Column>, 6> columns;

protected:
    QRect clipRect() const override;
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
    void draw(QCPPainter* painter) override;

private:
    QCPAxisRect* rect_;
    std::array<QPen, 6> pens_;
    QImage image_; // kept between redraws: the size seldom changes
};

} // namespace vemor
