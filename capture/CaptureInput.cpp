#include "CaptureInput.h"

#include "Recording.h"

#include "vemor/SystemText.h"
#include "vemor/capture/Decode.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vemor {

namespace {

#ifdef _WIN32
// A capture is bytes: no line-end translation.
constexpr int OpenFlags = O_RDONLY | O_BINARY;
#else
// Not blocking: opening a FIFO would otherwise wait for a writer before it can be refused.
constexpr int OpenFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
#endif

std::string Reason(int error) {
    return std::generic_category().message(error);
}

} // namespace

CaptureInput::~CaptureInput() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string CaptureInput::Open(const std::string& path) {
    path_ = path;
    id_ = IdOf(path);
    recording_ = Recording::Find(id_);
    if (recording_) {
        size_ = recording_->Size();
        return {};
    }
    return OpenFile();
}

std::string CaptureInput::OpenFile() {
#ifdef _WIN32
    // Windows refuses to open a folder at all; say what it is, as elsewhere.
    struct stat named {};
    if (::stat(path_.c_str(), &named) == 0 && S_ISDIR(named.st_mode)) {
        return Reason(EISDIR);
    }
#endif
    fd_ = ::open(path_.c_str(), OpenFlags);
    if (fd_ < 0) {
#ifdef _WIN32
        // Another monitor opens the capture it records alone; Windows then says only "denied".
        constexpr unsigned long SharingViolation = 32; // ERROR_SHARING_VIOLATION
        if (errno == EACCES && _doserrno == SharingViolation) {
            return decode::BeingRecordedReason;
        }
#endif
        return Reason(errno);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        return Reason(errno);
    }
    if (S_ISDIR(st.st_mode)) {
        return Reason(EISDIR);
    }
    if (!S_ISREG(st.st_mode)) {
        // A device or a pipe has no end to reach (/dev/zero) or is no capture at all.
        return decode::NotRegularReason;
    }
#ifndef _WIN32
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    size_ = static_cast<std::uint64_t>(st.st_size);
    return {};
}

long long CaptureInput::Read(std::uint64_t offset, std::uint8_t* p, std::size_t n,
                             std::string& why) {
    if (recording_) {
        std::size_t got = 0;
        int error = 0;
        if (recording_->ReadAt(offset, p, n, got, error)) {
            if (error != 0) {
                why = SystemText(error);
                return -1;
            }
            return static_cast<long long>(got);
        }
        // Finished meanwhile: the file is free now, and read on where the writer left off.
        recording_.reset();
        why = OpenFile();
        if (why.empty() && !SameFile(IdOf(path_), id_)) {
            why = "the capture was moved or replaced while it was read";
        }
        if (!why.empty()) {
            return -1;
        }
    }
    for (;;) {
#ifdef _WIN32
        const long long got = _lseeki64(fd_, static_cast<long long>(offset), SEEK_SET) < 0
                                  ? -1
                                  : ::read(fd_, p, static_cast<unsigned>(n));
#else
        const long long got = ::pread(fd_, p, n, static_cast<off_t>(offset));
#endif
        if (got >= 0) {
            return got;
        }
        if (errno != EINTR) {
            why = Reason(errno);
            return -1;
        }
    }
}

bool CaptureInput::ReadAll(std::uint64_t offset, std::uint8_t* p, std::size_t n, std::string& why) {
    while (n > 0) {
        const long long got = Read(offset, p, n, why);
        if (got <= 0) {
            why = got == 0 ? Reason(EIO) : why;
            return false;
        }
        offset += static_cast<std::uint64_t>(got);
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace vemor
