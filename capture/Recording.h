#pragma once
// The captures this process is recording, as a reader on any thread reaches them: through the
// writer's own handle, since on Windows the file is open to its writer alone while it is
// recorded. Internal to the capture library; the platform's read is in posix/ and win32/.

#include "vemor/capture/FileId.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace vemor {

class Recording {
public:
    using Handle = std::intptr_t; // a file descriptor, or a Windows HANDLE

    // Writer, GUI thread: the capture id, written through handle and holding fileBytes so far,
    // is recorded here until End.
    static std::shared_ptr<Recording> Start(const FileId& id, Handle handle,
                                            std::uint64_t fileBytes);
    // Writer, GUI thread: the file holds this many bytes, header included.
    void Wrote(std::uint64_t fileBytes) { size_.store(fileBytes, std::memory_order_release); }
    // Writer, GUI thread: runs close, which ends the handle and whatever else keeps the file
    // to the writer, while no read is in progress; a reader that waited for it finds the
    // capture ended and the file free to open. Once only.
    void End(const std::function<void()>& close);

    // The recording of the file with that id, or null. Any thread.
    static std::shared_ptr<Recording> Find(const FileId& id);
    // Bytes in the file, header included. Any thread.
    std::uint64_t Size() const { return size_.load(std::memory_order_acquire); }
    // Up to n bytes at offset, within Size(); got says how many, error the system's code of a
    // failure. False once the capture has ended: the file is then read by its name. Any thread.
    bool ReadAt(std::uint64_t offset, std::uint8_t* p, std::size_t n, std::size_t& got, int& error);

    Recording(const FileId& id, Handle handle, std::uint64_t fileBytes)
        : id_(id), handle_(handle), size_(fileBytes) {}

private:
    const FileId id_;
    std::mutex lock_;                 // held by a read, and by End while it closes
    Handle handle_;                   // under lock_; the writer's, until End
    bool ended_ = false;              // under lock_
    std::atomic<std::uint64_t> size_; // stored by the writer, read by any thread
};

// The platform's read at offset through a capture's writer handle, which never moves the
// offset the writer's next write goes to: 0 or the system's code. Any thread.
int ReadWrittenAt(Recording::Handle handle, std::uint64_t offset, std::uint8_t* p, std::size_t n,
                  std::size_t& got);

} // namespace vemor
