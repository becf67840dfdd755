#include "TThread.h"

namespace vemor {

TThread::TThread() : thread_([this] { Run(); }) {}

TThread::~TThread() {
    WaitFor();
}

void TThread::Run() {
    {
        std::unique_lock lock(gateLock_);
        gate_.wait(lock, [this] { return gateOpen_; });
    }
    if (!terminated_.load()) {
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
