#pragma once
// A small text file made anew beside a capture, appended to and flushed with it by the
// flusher. Internal to the capture library; the platform's part is in posix/ and win32/.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vemor {

class NewTextFile {
public:
    // Never opens a file that exists. Null, with err set to the system's code, on failure.
    static std::unique_ptr<NewTextFile> Create(const std::string& name, int& err);
    ~NewTextFile(); // closes; the last flush happens on the flusher
    NewTextFile(const NewTextFile&) = delete;
    NewTextFile& operator=(const NewTextFile&) = delete;

    // 0, or the system's code of the failure.
    int Append(const char* data, std::size_t count);

private:
    NewTextFile() = default;
    std::intptr_t handle_ = -1; // a file descriptor, or a Windows HANDLE
    int flushTicket_ = 0;
};

} // namespace vemor
