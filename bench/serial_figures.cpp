// Figures of the serial link on a pseudo-terminal: open and close time, reader-thread CPU on a
// quiet line and at line rate, and the delay from a byte written at the other side to its post.
#include "Threadio.h"

#include "../tests/support/Pty.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <numeric>
#include <pthread.h>
#include <random>
#include <thread>
#include <vector>

using namespace vemor;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPort = 7;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double ThreadCpuMs(ThreadIO& link) {
    clockid_t id{};
    timespec ts{};
    pthread_getcpuclockid(link.ThreadHandle(), &id);
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Stands in for the window: notes when each WM_RXDATA was posted.
class Window : public NotifyHandle {
public:
    void Post(unsigned message, std::uintptr_t, std::intptr_t) override {
        if (message != WM_RXDATA) {
            return;
        }
        {
            std::lock_guard lock(lock_);
            lastPost_ = Clock::now();
            ++posts_;
        }
        posted_.notify_all();
    }
    // Waits for the post after the n-th; returns its time.
    bool WaitPost(long n, Clock::time_point& when) {
        std::unique_lock lock(lock_);
        const bool ok = posted_.wait_for(lock, 2s, [&] { return posts_ > n; });
        when = lastPost_;
        return ok;
    }
    long Posts() {
        std::lock_guard lock(lock_);
        return posts_;
    }

private:
    std::mutex lock_;
    std::condition_variable posted_;
    Clock::time_point lastPost_; // guarded by lock_
    long posts_ = 0;             // guarded by lock_
};

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[i];
}

// Drains like the window's handler, on a thread of its own.
class Drainer {
public:
    explicit Drainer(ThreadIO& link) : link_(link), thread_([this] { Run(); }) {}
    ~Drainer() {
        stop_.store(true);
        thread_.join();
    }
    std::size_t Drained() const { return drained_.load(); }

private:
    void Run() {
        std::uint8_t buf[8192];
        while (!stop_.load()) {
            drained_ += link_.ReadQueue(buf, sizeof buf);
            std::this_thread::sleep_for(5ms);
        }
    }
    ThreadIO& link_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> drained_{0};
    std::thread thread_;
};

} // namespace

int main() {
    const vemor::testing::PortsDir ports;
    const vemor::testing::PtyLine pty(vemor::testing::PtyLine::Slave::Closed);
    ports.Link(kPort, pty.Name());
    Window window;

    std::vector<double> opens, closes;
    for (int i = 0; i < 10; ++i) {
        const auto t0 = Clock::now();
        auto* link = new ThreadIO(true, kPort, 62500, &window);
        const auto t1 = Clock::now();
        if (link->GetPortHandle() == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "open failed\n");
            return 1;
        }
        delete link;
        opens.push_back(Ms(t1 - t0));
        closes.push_back(Ms(Clock::now() - t1));
    }
    std::printf("open:  median %.1f ms, max %.1f ms (10 runs)\n", Percentile(opens, 0.5),
                Percentile(opens, 1.0));
    std::printf("close: median %.1f ms, max %.1f ms (10 runs)\n", Percentile(closes, 0.5),
                Percentile(closes, 1.0));

    ThreadIO link(true, kPort, 62500, &window);
    {
        std::this_thread::sleep_for(200ms);
        const double cpu0 = ThreadCpuMs(link);
        std::this_thread::sleep_for(5s);
        std::printf("reader CPU, quiet line: %.2f ms per second\n", (ThreadCpuMs(link) - cpu0) / 5);
    }
    {
        Drainer drainer(link);
        const long posts0 = window.Posts();
        const double cpu0 = ThreadCpuMs(link);
        std::vector<std::uint8_t> frame(35);
        std::iota(frame.begin(), frame.end(), 0);
        // 35 bytes every 5.6 ms is 6250 bytes per second, the line's full rate
        const auto period = std::chrono::microseconds(5600);
        const int frames = 5 * 1000000 / 5600;
        auto due = Clock::now();
        for (int i = 0; i < frames; ++i) {
            pty.Write(frame);
            due += period;
            std::this_thread::sleep_until(due);
        }
        const double seconds = static_cast<double>(frames) * 0.0056;
        const double cpu = (ThreadCpuMs(link) - cpu0) / seconds;
        std::this_thread::sleep_for(100ms);
        std::printf("reader CPU at 6250 B/s: %.2f ms per second (%ld posts/s, %zu of %d bytes "
                    "drained)\n",
                    cpu, static_cast<long>((window.Posts() - posts0) / seconds), drainer.Drained(),
                    frames * 35);
    }
    {
        std::vector<double> delays;
        std::mt19937 rng(1);
        std::uniform_int_distribution<int> gapUs(0, 25000);
        std::uint8_t buf[64];
        for (int i = 0; i < 1200; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(gapUs(rng)));
            const long before = window.Posts();
            const auto t0 = Clock::now();
            pty.Write({0x5A});
            Clock::time_point posted;
            if (!window.WaitPost(before, posted)) {
                std::fprintf(stderr, "no post for sample %d\n", i);
                return 1;
            }
            delays.push_back(Ms(posted - t0));
            link.ReadQueue(buf, sizeof buf);
        }
        std::printf("byte to WM_RXDATA: median %.2f ms, p99 %.2f ms, max %.2f ms (%zu samples)\n",
                    Percentile(delays, 0.5), Percentile(delays, 0.99), Percentile(delays, 1.0),
                    delays.size());
    }
    return 0;
}
