#pragma once
// A capture's bytes as the decoder reads them: through its writer while this process records
// it (on Windows nothing else can open it then), else from the file by its name, and from the
// file once the writer has finished it meanwhile. Internal to the capture library.

#include "vemor/capture/FileId.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vemor {

class Recording;

// Owner: the decoding thread.
class CaptureInput {
public:
    CaptureInput() = default;
    ~CaptureInput();
    CaptureInput(const CaptureInput&) = delete;
    CaptureInput& operator=(const CaptureInput&) = delete;

    // Empty, or why path cannot be read as a capture.
    std::string Open(const std::string& path);
    // The bytes there were when it was opened.
    std::uint64_t Size() const { return size_; }
    // Up to n bytes at offset: how many, 0 past the end of the file; -1 with why set.
    long long Read(std::uint64_t offset, std::uint8_t* p, std::size_t n, std::string& why);
    // All n bytes at offset, or false with why set.
    bool ReadAll(std::uint64_t offset, std::uint8_t* p, std::size_t n, std::string& why);

private:
    std::string OpenFile();

    std::string path_;
    FileId id_;
    std::shared_ptr<Recording> recording_; // null once the file is read by its name
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

} // namespace vemor
