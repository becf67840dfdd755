#pragma once
// Long work (loading a capture, writing a CSV) on a thread of its own, watched from the GUI
// thread through atomics, so the window stays responsive and can show progress.

#include "vemor/capture/Decode.h"

#include <atomic>
#include <functional>
#include <thread>

namespace vemor {

template <class T>
class Background {
public:
    // work runs on the new thread; it reads progress.cancel and reports progress.done.
    explicit Background(std::function<T(decode::Progress& progress)> work)
        : thread_([this, work = std::move(work)] {
              result_ = work(progress_);
              done_.store(true, std::memory_order_release);
          }) {}
    // Asks the work to stop and waits for it.
    ~Background() {
        progress_.cancel = true;
        thread_.join();
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // GUI thread. The result is the work's once Done() has returned true.
    bool Done() const { return done_.load(std::memory_order_acquire); }
    T& Result() { return result_; }
    decode::Progress& Progress() { return progress_; }
    // Share of the work done, 0 to 1.
    double Fraction() const {
        const std::uint64_t total = progress_.total;
        return total == 0 ? 0.0 : static_cast<double>(progress_.done) / static_cast<double>(total);
    }

private:
    decode::Progress progress_; // both threads, atomics
    T result_{};                // the work's thread until done_, then the GUI thread
    std::atomic<bool> done_{false};
    std::thread thread_; // last: starts once the members above exist
};

} // namespace vemor
