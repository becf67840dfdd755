#include "vemor/capture/CaptureFile.h"

#include "../Flusher.h"
#include "../Recording.h"

#include "vemor/Capture.h"
#include "vemor/Messages.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vemor {

namespace fs = std::filesystem;

FileId IdOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return {};
    }
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
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
    if (name == ".") {
        return path;
    }
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path + name;
}

namespace {

// Writes all of it, resuming after short writes; 0 or the errno of the failure.
int WriteAll(int fd, const std::uint8_t* data, std::size_t count, std::size_t& done) {
    done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, data + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : ENOSPC;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// Removes the name only while it still leads to the file behind fd.
void UnlinkIfSame(const std::string& name, int fd) {
    struct stat opened {};
    struct stat named {};
    if (fstat(fd, &opened) == 0 && lstat(name.c_str(), &named) == 0 &&
        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
        ::unlink(name.c_str());
    }
}

} // namespace

CaptureFile::CaptureFile(const std::string& name, const std::string& startTime)
    : name_(name), fullPath_(ExpandedPath(name)) {
    // Only a file made here is ever written: in a shared folder, a file planted under the
    // name would otherwise receive the capture and stay its owner's to read and change.
    fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    int err = fd_ < 0 ? errno : 0;
    if (err == EEXIST) {
        throw NameInUse(CannotCreateFileMessage(fullPath_, SystemText(err)));
    }
    if (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        err = errno == EWOULDBLOCK ? EBUSY : errno;
    }
    if (err == 0) {
        const auto header = StartHeader(startTime);
        std::size_t done = 0;
        err = WriteAll(fd_, header.data(), header.size(), done);
    }
    if (err != 0) {
        // A file that is not a whole capture is not left behind.
        if (fd_ >= 0) {
            UnlinkIfSame(name, fd_);
            ::close(fd_);
            fd_ = -1;
        }
        throw std::runtime_error(CannotCreateFileMessage(fullPath_, SystemText(err)));
    }
    struct stat st {};
    if (fstat(fd_, &st) == 0) {
        id_ = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
    }
    recording_ = Recording::Start(id_, fd_, CaptureHeaderLength);
    // A power cut must not take the new file's name, nor more than moments of its bytes.
    const int own = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (own >= 0) {
        flushTicket_ = Flusher::Instance().Add(own);
    }
    Flusher::Instance().FlushFolder(fs::path(fullPath_).parent_path().string());
}

void FlushFileData(Flusher::Handle handle) {
    while (::fdatasync(static_cast<int>(handle)) != 0 && errno == EINTR) {
    }
}

void FlushFolderEntries(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void CloseFlushHandle(Flusher::Handle handle) {
    ::close(static_cast<int>(handle));
}

int ReadWrittenAt(Recording::Handle handle, std::uint64_t offset, std::uint8_t* p, std::size_t n,
                  std::size_t& got) {
    got = 0;
    for (;;) {
        const ssize_t r = ::pread(static_cast<int>(handle), p, n, static_cast<off_t>(offset));
        if (r >= 0) {
            got = static_cast<std::size_t>(r);
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}

int CaptureFile::CloseFile() {
    int err = 0;
    recording_->End([this, &err] {
        // Some file systems tell a failed write only here.
        if (::close(fd_) != 0 && errno != EINTR) {
            err = errno;
        }
        fd_ = -1;
    });
    // The last flush happens on the flusher, so Save File does not wait for the disk.
    if (flushTicket_ != 0) {
        Flusher::Instance().Close(flushTicket_);
        flushTicket_ = 0;
    }
    return err;
}

CaptureFile::~CaptureFile() {
    if (fd_ >= 0) {
        CloseFile();
    }
}

int CaptureFile::WriteBody(const std::uint8_t* data, std::size_t count, std::size_t& done) {
    return WriteAll(fd_, data, count, done);
}

bool CaptureFile::Finish(const std::string& stopTime) {
    FinishBody();
    const auto field = StopField(stopTime);
    ssize_t n = -1;
    do {
        n = ::pwrite(fd_, field.data(), field.size(), CaptureStopOffset);
    } while (n < 0 && errno == EINTR);
    int err = n == static_cast<ssize_t>(field.size()) ? 0 : (n < 0 ? errno : ENOSPC);
    moved_ = id_.Valid && !SameFile(IdOf(name_), id_);
    const int closed = CloseFile();
    err = err != 0 ? err : closed;
    if (err != 0) {
        lastError_ = err;
    }
    return err == 0;
}

} // namespace vemor
