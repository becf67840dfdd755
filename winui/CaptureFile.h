#pragma once
// The open raw capture file, with Win32 file calls. Owner: GUI thread only.

#include "vemor/SystemText.h" // SystemText, for LastError()

#include <cstddef>
#include <cstdint>
#include <string>

namespace vemor {

class CaptureFile {
public:
    // Creates (or empties) `name` in the current directory for reading and writing, shared
    // with no other opener, and writes the 16-byte start header. A file that another program
    // holds open is left as it is, and a link (reparse point) under the name is refused, never
    // followed. Throws std::runtime_error with the operator's text on failure.
    CaptureFile(const std::string& name, const std::string& startTime);
    ~CaptureFile();
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    // One batch of received bytes behind what the file holds. Returns false when the file
    // took fewer bytes than given; the system's error code in LastError().
    bool Append(const std::uint8_t* data, std::size_t count);
    // Writes the stop time into bytes 8..15 and closes the file.
    bool Finish(const std::string& stopTime);

    const std::string& Name() const { return name_; }
    int LastError() const { return lastError_; }
    std::uint64_t BodyBytes() const { return bodyBytes_; }

private:
    std::string name_;
    void* file_; // HANDLE
    int lastError_ = 0;
    std::uint64_t bodyBytes_ = 0;
};

// True when a file, folder or link of that name exists (or cannot be told apart from one).
bool NameTaken(const std::string& name);

// The name expanded against the current directory.
std::string ExpandedPath(const std::string& name);

} // namespace vemor
