#pragma once
// The open raw capture file, with the platform's own file calls. Owner: GUI thread only.

#include "vemor/SystemText.h" // SystemText, for LastError()

#include "vemor/Capture.h"
#include "vemor/capture/FileId.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace vemor {

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

    // One batch of received bytes behind what the file holds. Returns false when the file
    // took fewer bytes than given; the reason in LastError().
    bool Append(const std::uint8_t* data, std::size_t count);
    // Writes the stop time into bytes 8..15 and closes the file; false when that failed,
    // reason in LastError().
    bool Finish(const std::string& stopTime);

    const std::string& Name() const { return name_; }
    // After Finish: the name no longer led to the file written (it was moved, renamed or
    // replaced meanwhile), so the capture is not where its name says.
    bool Moved() const { return moved_; }
    const std::string& FullPath() const { return fullPath_; }
    // The system's code of the last failure: errno, or GetLastError on Windows.
    int LastError() const { return lastError_; }
    std::uint64_t BodyBytes() const { return bodyBytes_; }

private:
    std::string name_;
    std::string fullPath_;
#ifdef _WIN32
    void* file_; // HANDLE
#else
    int fd_ = -1;
#endif
    int lastError_ = 0;
    std::uint64_t bodyBytes_ = 0;
    FileId id_;
    bool moved_ = false;
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
