#include "vemor/capture/Output.h"

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

namespace vemor::decode {

bool FdWriter::Write(const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t done = ::write(fd_, p, n);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            errno_ = errno;
            return false;
        }
        if (done == 0) {
            errno_ = EIO; // no progress and no reason given: never loop on it
            return false;
        }
        p += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

std::string FdWriter::Error() const {
    return "cannot write to " + name_ + ": " + std::generic_category().message(errno_);
}

OutputBuffer::OutputBuffer(Writer& writer, std::size_t capacity)
    : writer_(writer), data_(new char[capacity]), capacity_(capacity) {}

void OutputBuffer::Append(std::string_view text) {
    while (!text.empty()) {
        const std::size_t room = capacity_ - used_;
        if (room == 0) {
            Flush();
            continue;
        }
        const std::size_t n = text.size() < room ? text.size() : room;
        text.copy(data_.get() + used_, n);
        used_ += n;
        text.remove_prefix(n);
    }
}

void OutputBuffer::MakeRoom(std::size_t n) {
    if (n > capacity_) {
        throw std::length_error("output buffer smaller than one reservation");
    }
    Flush();
}

bool OutputBuffer::Flush() {
    if (!failed_ && used_ > 0 && !writer_.Write(data_.get(), used_)) {
        failed_ = true;
    }
    used_ = 0;
    return !failed_;
}

} // namespace vemor::decode
