#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vemor {

// A thread that exists from construction but runs its body only after Start().
// Creation failure surfaces as std::system_error from the constructor.
// The body is virtual, so a derived class must end it (WaitFor) in its own destructor: by the
// time ~TThread runs, the derived part is gone.
class TThread {
public:
    TThread();
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // creator thread only
    void Start();
    // Ends a never-started thread without running its body, then joins; creator thread only.
    void WaitFor();

    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }
    bool Suspended() const { return suspended_.load(); }
    std::thread::native_handle_type ThreadHandle() { return thread_.native_handle(); }

protected:
    virtual void Execute() = 0;

private:
    void Run();

    std::mutex gateLock_;
    std::condition_variable gate_;
    bool gateOpen_ = false; // guarded by gateLock_
    bool runBody_ = false;  // guarded by gateLock_; set by Start() unless terminated before
    std::atomic<bool> suspended_{true};
    std::atomic<bool> terminated_{false};
    std::thread thread_; // last member: its body waits on the gate above
};

} // namespace vemor
