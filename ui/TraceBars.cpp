#include "TraceBars.h"

#include <algorithm>
#include <cmath>

namespace vemor {

TraceBars::TraceBars(QCPAxisRect* rect, const std::array<QPen, 6>& pens)
    : QCPLayerable(rect->parentPlot()), rect_(rect), pens_(pens) {}

QRect TraceBars::clipRect() const {
    return rect_->rect();
}

void TraceBars::applyDefaultAntialiasingHint(QCPPainter* painter) const {
    painter->setAntialiasing(false);
}

void TraceBars::draw(QCPPainter* painter) {
    const QRect area = rect_->rect();
    if (area.isEmpty() ||
        std::all_of(columns.begin(), columns.end(), [](const auto& c) { return c.empty(); })) {
        return;
    }
    if (image_.size() != area.size()) {
        image_ = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
    }
    image_.fill(Qt::transparent);
    QCPAxis* x = rect_->axis(QCPAxis::atBottom);
    QCPAxis* y = rect_->axis(QCPAxis::atLeft);
    struct Bar {
        int left, right, top, bottom; // pixels of the image, inclusive
    };
    std::vector<Bar> bars;
    for (std::size_t t = 0; t < columns.size(); ++t) {
        const int w = std::max(1, static_cast<int>(std::lround(pens_[t].widthF())));
        bars.clear();
        for (const decode::Column& c : columns[t]) {
            const int px = static_cast<int>(std::lround(x->coordToPixel(c.x))) - area.left();
            const double a = y->coordToPixel(c.lo) - area.top();
            const double b = y->coordToPixel(c.hi) - area.top();
            const Bar bar{std::max(0, px - w / 2), std::min(area.width() - 1, px - w / 2 + w - 1),
                          std::max(0, static_cast<int>(std::lround(std::min(a, b))) - w / 2),
                          std::min(area.height() - 1,
                                   static_cast<int>(std::lround(std::max(a, b))) + (w - 1) / 2)};
            if (bar.left <= bar.right && bar.top <= bar.bottom) {
                bars.push_back(bar);
            }
        }
        const QRgb colour = pens_[t].color().rgba();
        for (int row = 0; row < area.height(); ++row) {
            auto* line = reinterpret_cast<QRgb*>(image_.scanLine(row));
            for (const Bar& bar : bars) {
                if (bar.top <= row && row <= bar.bottom) {
                    std::fill(line + bar.left, line + bar.right + 1, colour);
                }
            }
        }
    }
    painter->drawImage(area.topLeft(), image_);
}

} // namespace vemor
