#include "CaptureFile.h"

#include "vemor/Capture.h"
#include "vemor/Messages.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vemor {

std::string SystemText(int err) {
    char buf[256];
    // GNU strerror_r may return a static string instead of filling buf.
    return strerror_r(err, buf, sizeof buf);
}

bool NameTaken(const std::string& name) {
    struct stat st;
    return lstat(name.c_str(), &st) == 0 || errno != ENOENT;
}

std::string ExpandedPath(const std::string& name) {
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) {
        return name;
    }
    std::string path = cwd;
    std::free(cwd);
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path + name;
}

CaptureFile::CaptureFile(const std::string& name, const std::string& startTime)
    : name_(name), fullPath_(ExpandedPath(name)) {
    // Emptied only once the lock is ours, so a capture that another program holds open
    // under this name is never cut short.
    fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    int err = errno;
    if (fd_ >= 0 && (flock(fd_, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd_, 0) != 0)) {
        err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd_);
        fd_ = -1;
    }
    if (fd_ < 0) {
        throw std::runtime_error(CannotCreateFileMessage(fullPath_, SystemText(err)));
    }
    const auto header = StartHeader(startTime);
    if (::write(fd_, header.data(), header.size()) != static_cast<ssize_t>(header.size())) {
        lastError_ = errno;
    }
}

CaptureFile::~CaptureFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool CaptureFile::Append(const std::uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_, data + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            lastError_ = n < 0 ? errno : ENOSPC;
            bodyBytes_ += done;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    bodyBytes_ += done;
    return true;
}

bool CaptureFile::Finish(const std::string& stopTime) {
    const auto field = StopField(stopTime);
    const bool ok = ::pwrite(fd_, field.data(), field.size(), CaptureStopOffset) ==
                    static_cast<ssize_t>(field.size());
    if (!ok) {
        lastError_ = errno;
    }
    ::close(fd_);
    fd_ = -1;
    return ok;
}

} // namespace vemor
