#include "TThread.h"

namespace vemor {

TThread::TThread() : thread_([this] { Run(); }) {}

TThread::~TThread() {
    WaitFor();
}

void TThread::Run() {
    bool run = false;
    {
        std::unique_lock lock(gateLock_);
        gate_.wait(lock, [this] { return gateOpen_; });
        run = runBody_;
    }
    // Decided when the gate opened, not when this thread got to run: a terminate request
    // that follows Start() must not skip a body the creator already counts on.
    if (run) {
        Execute();
    }
}

void TThread::Start() {
    {
        std::lock_guard lock(gateLock_);
        if (gateOpen_) {
            return;
        }
        gateOpen_ = true;
        runBody_ = !terminated_.load();
    }
    suspended_.store(false);
    gate_.notify_one();
}

void TThread::WaitFor() {
    {
        std::lock_guard lock(gateLock_);
        if (!gateOpen_) {
            // never started: let it leave without running the body
            terminated_.store(true);
            gateOpen_ = true;
        }
    }
    gate_.notify_one();
    if (thread_.joinable()) {
        thread_.join();
    }
}

} // namespace vemor
