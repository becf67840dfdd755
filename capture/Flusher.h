#pragma once
// Keeps the captures on stable storage without the GUI thread waiting for a slow disk: a
// thread of its own flushes each file that took bytes at least every FlushEveryMs, flushes a
// finished file one last time before it closes it, and flushes the folder a new file was made
// in. Internal to the capture library.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vemor {

class Flusher {
public:
    static constexpr int FlushEveryMs = 2000;
    using Handle = std::intptr_t; // a file descriptor, or a Windows HANDLE

    static Flusher& Instance();
    ~Flusher(); // finishes what was handed over, then ends the thread

    // GUI thread. Takes a handle of its own to the file (closed by the flusher); the ticket.
    int Add(Handle own);
    // New bytes in the file of ticket.
    void Dirty(int ticket);
    // The file is finished: flushed once more, then its handle closed, on the flusher.
    void Close(int ticket);
    // The same, returning once the handle is closed (where an open handle keeps others out).
    void CloseAndWait(int ticket);
    // The folder that holds a new file: its entry is flushed too.
    void FlushFolder(const std::string& folder);

    // Flushes done so far, for tests. Any thread.
    std::uint64_t DataFlushes() const { return dataFlushes_.load(); }
    std::uint64_t FolderFlushes() const { return folderFlushes_.load(); }

private:
    Flusher() = default;
    void StartLocked(); // the thread, once; under lock_
    void Run();
    struct File {
        int ticket;
        Handle handle;
        bool dirty;
        bool closing;
    };

    std::mutex lock_;                 // guards everything below but the counters and thread
    std::condition_variable changed_; // work that cannot wait for the next round
    std::vector<File> files_;
    std::vector<int> closing_; // tickets whose handle the flusher is closing now
    std::vector<std::string> folders_;
    int nextTicket_ = 1;
    bool urgent_ = false; // a close or a folder is waiting
    bool stop_ = false;
    std::atomic<std::uint64_t> dataFlushes_{0};
    std::atomic<std::uint64_t> folderFlushes_{0};
    std::thread thread_; // started with the first file; runs Run
};

// The platform's part: flush a file's data, flush a folder's entries, close a handle.
void FlushFileData(Flusher::Handle handle);
void FlushFolderEntries(const std::string& folder);
void CloseFlushHandle(Flusher::Handle handle);

} // namespace vemor
