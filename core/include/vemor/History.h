#pragma once
// The newest points of one chart series in a fixed ring, so that a session of any length
// holds the same memory. X is the point's number since start-up; Y values are the frame
// bytes the chart shows, which a float holds exactly.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vemor {

class SeriesHistory {
public:
    explicit SeriesHistory(std::size_t capacity) : ring_(capacity) {}

    void Append(double y) {
        ring_[static_cast<std::size_t>(count_ % static_cast<std::int64_t>(ring_.size()))] =
            static_cast<float>(y);
        ++count_;
    }
    // Points appended since start-up; the next point's X.
    std::int64_t Count() const { return count_; }
    // X of the oldest point still held.
    std::int64_t FirstX() const {
        const auto cap = static_cast<std::int64_t>(ring_.size());
        return count_ > cap ? count_ - cap : 0;
    }
    // Y of point x; x must lie in [FirstX(), Count()).
    double At(std::int64_t x) const {
        return ring_[static_cast<std::size_t>(x % static_cast<std::int64_t>(ring_.size()))];
    }
    std::size_t Capacity() const { return ring_.size(); }

private:
    std::vector<float> ring_;
    std::int64_t count_ = 0;
};

} // namespace vemor
