#pragma once
// The open raw capture file, with the platform's own file calls. Owner: GUI thread only; a
// reader of this process reaches what it has written through its Recording, on any thread.

#include "vemor/SystemText.h" // SystemText, for LastError()

#include "vemor/Capture.h"
#include "vemor/capture/FileId.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vemor {

class Recording;

class CaptureFile {
public:
    // Creates `name` anew in the current directory for reading and writing, held alone
    // (locked against other openers on POSIX, shared with none on Windows), and writes the
    // whole 16-byte start header. Whatever stands under the name already (a file, a folder, a
    // link, a FIFO) is never opened: that throws NameInUse. Throws std::runtime_error with
    // the operator's text on any other failure, and then removes the file it made, as long as
    // the name still leads to it.
    CaptureFile(const std::string& name, const std::string& startTime);
    ~CaptureFile();
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    // Bytes that may wait for a disk that takes none (full, or failing for a while): about
    // ninety minutes of the line.
    static constexpr std::size_t WaitingLimit = std::size_t{32} << 20;

    // One batch of received bytes behind what the file holds. What the disk does not take
    // waits, in order, and goes first at the next Append or Retry; past WaitingLimit bytes
    // are given up. Returns false while bytes wait; the reason in LastError().
    bool Append(const std::uint8_t* data, std::size_t count);
    // Writes what waits; true when nothing waits any more.
    bool Retry();
    std::uint64_t WaitingBytes() const { return waiting_.size() - waitingAt_; }
    // Bytes given up, and the body offset of the first of them.
    std::uint64_t LostBytes() const { return lost_; }
    std::uint64_t LostFrom() const { return lostFrom_; }
    // Writes what waits, then the stop time into bytes 8..15, and closes the file; false when
    // the stop time failed, reason in LastError(). What still waits is given up (LostBytes).
    bool Finish(const std::string& stopTime);

    const std::string& Name() const { return name_; }
    // After Finish: the name no longer led to the file written (it was moved, renamed or
    // replaced meanwhile), so the capture is not where its name says.
    bool Moved() const { return moved_; }
    const std::string& FullPath() const { return fullPath_; }
    // The system's code of the last failure: errno, or GetLastError on Windows.
    int LastError() const { return lastError_; }
    // Body bytes in the file.
    std::uint64_t BodyBytes() const { return bodyBytes_; }

private:
    // The platform's write of body bytes: 0 or the system's code of the failure.
    int WriteBody(const std::uint8_t* data, std::size_t count, std::size_t& done);
    // done more body bytes are in the file.
    void Wrote(std::size_t done);
    void Wait(const std::uint8_t* data, std::size_t count);
    bool FinishBody();
    // Closes the file once no reader is reading through recording_, so that after it anyone may
    // open it: 0, or the system's code of a write that failed only at the close.
    int CloseFile();

    std::vector<std::uint8_t> waiting_;
    std::size_t waitingAt_ = 0; // bytes of waiting_ written already
    std::uint64_t lost_ = 0;
    std::uint64_t lostFrom_ = 0;
    std::string name_;
    std::string fullPath_;
    // Written and closed by the GUI thread; read by reader threads under recording_'s lock, at
    // an offset of their own. The flusher flushes a duplicate of it on its thread.
#ifdef _WIN32
    void* file_; // HANDLE
#else
    int fd_ = -1;
#endif
    int lastError_ = 0;
    std::uint64_t bodyBytes_ = 0;
    FileId id_;
    bool moved_ = false;
    int flushTicket_ = 0; // the file's place with the thread that flushes it; 0: none
    // Readers' way to the bytes written: shared with their threads, ended on the GUI thread
    // by Finish or the destructor before the file is closed.
    std::shared_ptr<Recording> recording_;
};

// The name was taken between the look and the create; the next name is the remedy.
class NameInUse : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A new capture under the next free name of `names`, its header holding startTime. A name
// taken in between is passed over like one found `taken`. Throws the operator's text when no
// capture could be made.
std::unique_ptr<CaptureFile> CreateCapture(CaptureNamer& names, const std::string& startTime,
                                           const CaptureNamer::TakenFn& taken);
std::unique_ptr<CaptureFile> CreateCapture(CaptureNamer& names, const std::string& startTime);

// True when a file, directory or link (dangling or not) of that name exists, or cannot be
// told apart from one.
bool NameTaken(const std::string& name);

// The name with the current directory in front; "." is the current directory itself.
std::string ExpandedPath(const std::string& name);

} // namespace vemor
