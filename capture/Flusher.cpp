#include "Flusher.h"

#include <algorithm>

namespace vemor {

Flusher& Flusher::Instance() {
    static Flusher flusher;
    return flusher;
}

Flusher::~Flusher() {
    {
        std::lock_guard lock(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void Flusher::StartLocked() {
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { Run(); });
    }
}

int Flusher::Add(Handle own) {
    std::lock_guard lock(lock_);
    StartLocked();
    const int ticket = nextTicket_++;
    files_.push_back({ticket, own, false, false});
    return ticket;
}

void Flusher::Dirty(int ticket) {
    std::lock_guard lock(lock_);
    for (File& f : files_) {
        if (f.ticket == ticket) {
            f.dirty = true;
        }
    }
}

void Flusher::Close(int ticket) {
    {
        std::lock_guard lock(lock_);
        for (File& f : files_) {
            if (f.ticket == ticket) {
                f.closing = true;
                urgent_ = true;
            }
        }
    }
    changed_.notify_all();
}

void Flusher::CloseAndWait(int ticket) {
    Close(ticket);
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] {
        const auto isIt = [&](const File& f) { return f.ticket == ticket; };
        return std::none_of(files_.begin(), files_.end(), isIt) &&
               std::find(closing_.begin(), closing_.end(), ticket) == closing_.end();
    });
}

void Flusher::FlushFolder(const std::string& folder) {
    {
        std::lock_guard lock(lock_);
        folders_.push_back(folder);
        urgent_ = true;
        StartLocked();
    }
    changed_.notify_all();
}

void Flusher::Run() {
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait_for(lock, std::chrono::milliseconds(FlushEveryMs),
                          [this] { return stop_ || urgent_; });
        urgent_ = false;
        std::vector<File> round = files_;
        std::vector<std::string> folders;
        folders.swap(folders_);
        for (File& f : files_) {
            f.dirty = false;
            if (f.closing) {
                closing_.push_back(f.ticket);
            }
        }
        std::erase_if(files_, [](const File& f) { return f.closing; });
        const bool stopping = stop_;
        // The disk may be slow: nothing is held while it works.
        lock.unlock();
        for (const std::string& folder : folders) {
            FlushFolderEntries(folder);
            folderFlushes_.fetch_add(1);
        }
        for (const File& f : round) {
            if (f.dirty || f.closing || stopping) {
                FlushFileData(f.handle);
                dataFlushes_.fetch_add(1);
            }
            if (f.closing) {
                CloseFlushHandle(f.handle);
            }
        }
        lock.lock();
        if (!closing_.empty()) {
            closing_.clear();
            changed_.notify_all(); // for CloseAndWait
        }
        if (stopping) {
            for (const File& f : files_) {
                CloseFlushHandle(f.handle);
            }
            files_.clear();
            return;
        }
    }
}

} // namespace vemor
