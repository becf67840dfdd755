// ThreadIO on a scripted device: failures on the reader thread and writes that wait.
#include "SerialKit.h"

#include <future>

namespace vemor::test {
namespace {

class Scripted : public ::testing::Test {
protected:
    Recorder window;
    BoxCapture& boxes = window;
};

TEST_F(Scripted, ReaderFailuresAreCountedToldAndSurvived) {
    struct Case {
        const char* what;
        std::function<void(ScriptedDevice&, Recorder&, AllocationFailures&)> fail;
        std::uint32_t faults;
        std::uint64_t dropped;
        std::size_t told; // bytes that WM_RXDATA announced meanwhile
    };
    const Case cases[] = {
        {"posting a notification",
         [](ScriptedDevice& d, Recorder& w, AllocationFailures&) {
             w.failPosts = 2; // the first chunk's post and the first fault's
             d.With([](auto& s) { s.reads = {{1, 2}, {3}}; });
         },
         2, 0, 1},
        {"rebuilding the device name after a loss",
         [](ScriptedDevice& d, Recorder& w, AllocationFailures&) {
             d.With([](auto& s) {
                 s.throwNames = 2;
                 s.lose = true;
             });
             ASSERT_TRUE(w.WaitUntil([&] { return !w.Of(WM_LINELOST).empty(); }));
             d.With([](auto& s) { s.present = true; });
             ASSERT_TRUE(w.WaitUntil([&] { return !w.Of(WM_LINEBACK).empty(); }, 5s));
         },
         2, 0, 0},
        {"allocating a chunk",
         [](ScriptedDevice& d, Recorder&, AllocationFailures& allocations) {
             allocations.Next(1);
             d.With([](auto& s) { s.reads = {{1, 2, 3, 4, 5}}; });
         },
         1, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Recorder w;
        AllocationFailures allocations;
        ScriptedDevice* device = nullptr;
        auto link = ScriptedLink(&w, device, allocations.Options());
        c.fail(*device, w, allocations);
        ASSERT_TRUE(w.WaitUntil([&] { return !w.Of(WM_READERFAULT).empty(); }));
        const auto told = w.Of(WM_READERFAULT);
        EXPECT_EQ(told.back().wParam, c.faults);
        EXPECT_EQ(told.back().lParam, static_cast<std::intptr_t>(c.dropped));
        EXPECT_EQ(link->ReaderFaults(), c.faults);
        EXPECT_EQ(link->DroppedBytes(), c.dropped);
        EXPECT_EQ(w.RxBytes(), c.told); // a dropped read is not announced
        // Reading goes on.
        device->With([](auto& s) { s.reads.push_back({9, 9}); });
        std::uint8_t out[16];
        std::uint32_t got = 0;
        ASSERT_TRUE(w.WaitUntil([&] {
            got += link->ReadQueue(out + got, 16 - got);
            return got >= 2 && out[got - 1] == 9 && out[got - 2] == 9;
        }));
        const auto start = Clock::now();
        link.reset();
        EXPECT_LT(MsSince(start), 200.0); // no pause left behind by the failure
    }
}

// Reads that fill one after another are told together, each by a message of its own; a short
// read, a quiet line and a loss let nothing wait behind them.
TEST_F(Scripted, FullReadsAreToldTogetherEachWithItsOwnMessageInOrder) {
    ScriptedDevice* device = nullptr;
    auto link = ScriptedLink(&window, device);
    device->With([](auto& s) {
        for (int i = 0; i < 5; ++i) {
            s.reads.push_back(std::vector<std::uint8_t>(ThreadIO::ReadSize, 0));
        }
    });
    // The line goes quiet: the next read comes back empty after its time-out.
    ASSERT_TRUE(window.WaitUntil([&] { return window.Of(WM_RXDATA).size() == 5; }));
    device->With([](auto& s) {
        s.reads.push_back({1, 2, 3});
        s.reads.push_back(std::vector<std::uint8_t>(ThreadIO::ReadSize, 0));
    });
    // Lost while the last full read waits to be told.
    ASSERT_TRUE(window.WaitUntil([&] { return link->GetQueuedBytes() == 6 * 64 + 3; }));
    device->With([](auto& s) { s.lose = true; });
    ASSERT_TRUE(window.WaitUntil([&] { return !window.Of(WM_LINELOST).empty(); }));
    const auto rx = window.Of(WM_RXDATA);
    ASSERT_EQ(rx.size(), 7u);
    const std::uintptr_t counts[] = {64, 64, 64, 64, 64, 3, 64};
    for (std::size_t i = 0; i < rx.size(); ++i) {
        EXPECT_EQ(rx[i].wParam, counts[i]) << i;
    }
    // Each says what was queued after its own read.
    EXPECT_EQ(rx[4].lParam, 5 * 64);
    // The first went at once; the next four waited for the empty read's time-out together.
    EXPECT_GE(rx[1].at - rx[0].at, 15ms);
    EXPECT_GT(rx[1].at - rx[0].at, rx[4].at - rx[1].at);
    EXPECT_LE(rx.back().at, window.Of(WM_LINELOST).front().at);
}

TEST_F(Scripted, LostLineIsGivenUpWhileAWriteWaits) {
    ScriptedDevice* device = nullptr;
    auto link = ScriptedLink(&window, device);
    std::atomic<bool> returned{false};
    auto write = std::async(std::launch::async, [&] {
        // A second of the line: the write may wait two and a half.
        const std::vector<std::uint8_t> block(6250);
        std::uint32_t written = 0;
        const bool ok = link->WritePort(block.data(), 6250, &written);
        returned = true;
        return ok;
    });
    ASSERT_TRUE(device->WaitUntil([](auto& s) { return s.writing; }));
    device->With([](auto& s) { s.lose = true; });
    // The reader closes nothing under the write and goes on to look for the device again.
    EXPECT_TRUE(device->WaitUntil([](auto& s) { return s.opens > 1 || !s.closed.empty(); }, 2s));
    EXPECT_EQ(device->With([](auto& s) { return s.closed.size(); }), 0u);
    EXPECT_FALSE(returned.load());
    device->With([](auto& s) {
        s.present = true;
        s.releaseWrite = true;
    });
    EXPECT_TRUE(write.get());
    // The write closes the handle it used, once, and the reader reads the device again.
    ASSERT_TRUE(window.WaitUntil([&] { return !window.Of(WM_LINEBACK).empty(); }));
    device->With([](auto& s) {
        EXPECT_EQ(s.closed, std::vector<PortHandleValue>{100});
        EXPECT_FALSE(s.closedWhileWriting);
    });
}

} // namespace
} // namespace vemor::test
