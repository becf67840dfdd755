// The receive queue, exercised on an object whose open failed: no port and no reader thread.
#include "SerialKit.h"

#include <future>

namespace vemor::test {
namespace {

struct Step {
    char op; // 'A' appends n bytes, 'D' drains with max n
    std::uint32_t n;
    std::uint32_t copied; // for 'D'
    std::uint32_t headOffset;
    std::uint32_t queued;
};

struct Scenario {
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

// A link whose open failed (port 0 names no device), so the queue is all there is.
class Queue : public ::testing::Test {
protected:
    BoxCapture boxes;
    AllocationFailures allocations;
    ThreadIO link{true, 0, 62500, &boxes, SerialDevice::Create(allocations.Options())};
};

class QueueTest : public Queue, public ::testing::WithParamInterface<Scenario> {
protected:
    std::uint8_t next = 0; // bytes carry a running count, so order shows in every drain
    std::uint8_t expected = 0;

    void Append(std::uint32_t n) {
        std::vector<std::uint8_t> bytes(n);
        for (auto& b : bytes) {
            b = next++;
        }
        ASSERT_TRUE(link.AppendChunk(bytes.data(), n));
    }
};

TEST_P(QueueTest, DrainsInArrivalOrder) {
    ASSERT_EQ(link.GetPortHandle(), INVALID_HANDLE_VALUE);
    std::vector<std::uint8_t> out(8192);
    for (const Step& s : GetParam().steps) {
        if (s.op == 'A') {
            Append(s.n);
        } else {
            ASSERT_EQ(link.ReadQueue(out.data(), s.n), s.copied);
            for (std::uint32_t i = 0; i < s.copied; ++i) {
                ASSERT_EQ(out[i], expected++) << "byte " << i;
            }
        }
        EXPECT_EQ(link.GetHeadOffset(), s.headOffset);
        EXPECT_EQ(link.GetQueuedBytes(), s.queued);
        EXPECT_EQ(link.GetQueueHead() == nullptr, s.queued == 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, QueueTest,
    ::testing::Values(
        Scenario{
            "PiecesOf5_64_3DrainAs72",
            {{'A', 5, 0, 0, 5}, {'A', 64, 0, 0, 69}, {'A', 3, 0, 0, 72}, {'D', 8192, 72, 0, 0}}},
        Scenario{"Max10LeavesOffsetThenContinues",
                 {{'A', 64, 0, 0, 64}, {'D', 10, 10, 10, 54}, {'D', 8192, 54, 0, 0}}},
        Scenario{"DrainOfHeadRemainderFreesHead",
                 {{'A', 64, 0, 0, 64},
                  {'A', 3, 0, 0, 67},
                  {'D', 10, 10, 10, 57},
                  {'D', 54, 54, 0, 3},
                  {'D', 8192, 3, 0, 0}}},
        Scenario{"MaxZeroChangesNothing",
                 {{'A', 5, 0, 0, 5},
                  {'D', 0, 0, 0, 5},
                  {'D', 3, 3, 3, 2},
                  {'D', 0, 0, 3, 2},
                  {'D', 8192, 2, 0, 0}}},
        Scenario{"StaleTailAfterEmptying",
                 {{'A', 5, 0, 0, 5},
                  {'D', 8192, 5, 0, 0},
                  {'A', 3, 0, 0, 3},
                  {'A', 2, 0, 0, 5},
                  {'D', 8192, 5, 0, 0}}},
        Scenario{"EmptyQueueGivesNothing", {{'D', 8192, 0, 0, 0}}},
        Scenario{"LimitCutsAcrossChunks",
                 {{'A', 64, 0, 0, 64},
                  {'A', 64, 0, 0, 128},
                  {'A', 64, 0, 0, 192},
                  {'D', 100, 100, 36, 92},
                  {'D', 8192, 92, 0, 0}}}),
    [](const auto& param) { return param.param.name; });

TEST_F(Queue, AppendRejectsEmptyAndOversizedChunks) {
    const std::uint8_t bytes[65] = {};
    EXPECT_FALSE(link.AppendChunk(bytes, 0));
    EXPECT_FALSE(link.AppendChunk(bytes, 65));
    EXPECT_EQ(link.GetQueueHead(), nullptr);
    EXPECT_TRUE(link.AppendChunk(bytes, 64));
    EXPECT_EQ(link.GetQueuedBytes(), 64u);
}

TEST_F(Queue, FailedAllocationDropsOnlyThatChunkAndFreesTheLock) {
    const std::uint8_t a[2] = {1, 2}, b[3] = {3, 4, 5}, c[1] = {6};
    ASSERT_TRUE(link.AppendChunk(a, 2));
    allocations.Next(1);
    EXPECT_FALSE(link.AppendChunk(b, 3));
    // from another thread, so a lock left held shows as a time-out instead of a self-deadlock
    auto later = std::async(std::launch::async, [&] { return link.AppendChunk(c, 1); });
    ASSERT_EQ(later.wait_for(2s), std::future_status::ready);
    EXPECT_TRUE(later.get());
    std::uint8_t out[8] = {};
    ASSERT_EQ(link.ReadQueue(out, 8), 3u);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[2], 6);
}

TEST_F(Queue, ClearFreesEveryChunkAndEmptiesTheQueue) {
    std::uint8_t bytes[64] = {};
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(link.AppendChunk(bytes, 64));
    }
    ASSERT_EQ(link.ReadQueue(bytes, 10), 10u);
    link.ClearQueue(); // leaks show under the address sanitizer
    EXPECT_EQ(link.GetQueueHead(), nullptr);
    EXPECT_EQ(link.GetQueuedBytes(), 0u);
    EXPECT_EQ(link.GetHeadOffset(), 0u);
    EXPECT_EQ(link.ReadQueue(bytes, 64), 0u);
    EXPECT_TRUE(link.AppendChunk(bytes, 7));
    EXPECT_EQ(link.ReadQueue(bytes, 64), 7u);
}

} // namespace
} // namespace vemor::test
