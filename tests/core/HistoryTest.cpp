#include "vemor/History.h"

#include <gtest/gtest.h>

namespace vemor {
namespace {

TEST(SeriesHistory, KeepsTheNewestPointsWithTheirNumbers) {
    SeriesHistory h(100);
    for (int i = 0; i < 1000; ++i) {
        h.Append(i % 257);
        const std::int64_t first = h.FirstX();
        ASSERT_EQ(first, i < 100 ? 0 : i + 1 - 100);
        ASSERT_EQ(h.At(first), static_cast<double>(first % 257));
        ASSERT_EQ(h.At(i), static_cast<double>(i % 257));
    }
    EXPECT_EQ(h.Count(), 1000);
    EXPECT_EQ(h.Capacity(), 100u);
}

TEST(SeriesHistory, ByteValuesSurviveExactly) {
    SeriesHistory h(300);
    for (int v = 0; v <= 256; ++v) {
        h.Append(v);
    }
    for (int v = 0; v <= 256; ++v) {
        EXPECT_EQ(h.At(v), v);
    }
}

} // namespace
} // namespace vemor
