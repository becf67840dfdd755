#pragma once
// The open raw capture file, with the platform's own file calls. Owner: GUI thread only.

#include "vemor/SystemText.h" // SystemText, for LastError()

#include <cstddef>
#include <cstdint>
#include <string>

namespace vemor {

class CaptureFile {
public:
    // Creates (or empties) `name` in the current directory for reading and writing, held alone
    // (locked against other openers on POSIX, shared with none on Windows), and writes the
    // whole 16-byte start header. A file that another program holds is left as it is, and a
    // link (a reparse point on Windows) under the name is refused, never followed. Throws
    // std::runtime_error with the operator's text on failure; a file made or emptied here is
    // then removed again, as long as the name still leads to it.
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
};

// True when a file, directory or link (dangling or not) of that name exists, or cannot be
// told apart from one.
bool NameTaken(const std::string& name);

// The name with the current directory in front.
std::string ExpandedPath(const std::string& name);

} // namespace vemor
