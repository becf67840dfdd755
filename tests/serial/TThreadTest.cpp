#include "TThread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace vemor {
namespace {

class CountingThread final : public TThread {
public:
    explicit CountingThread(std::atomic<int>& runs) : runs_(runs) {}
    ~CountingThread() override { WaitFor(); }

protected:
    void Execute() override { ++runs_; }

private:
    std::atomic<int>& runs_;
};

TEST(TThread, StartedBodyRunsEvenWhenTerminateFollowsAtOnce) {
    std::atomic<int> runs{0};
    for (int i = 0; i < 200; ++i) {
        CountingThread t(runs);
        EXPECT_TRUE(t.Suspended());
        t.Start();
        EXPECT_FALSE(t.Suspended());
        t.Terminate();
    }
    EXPECT_EQ(runs.load(), 200);
}

TEST(TThread, NeverStartedOrTerminatedBeforeStartSkipsTheBody) {
    std::atomic<int> runs{0};
    { CountingThread never(runs); }
    {
        CountingThread late(runs);
        late.Terminate();
        late.Start();
    }
    EXPECT_EQ(runs.load(), 0);
}

} // namespace
} // namespace vemor
