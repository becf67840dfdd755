#include "../NewTextFile.h"

#include "../Flusher.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vemor {

std::unique_ptr<NewTextFile> NewTextFile::Create(const std::string& name, int& err) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        err = errno;
        return nullptr;
    }
    std::unique_ptr<NewTextFile> file(new NewTextFile);
    file->handle_ = fd;
    const int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own >= 0) {
        file->flushTicket_ = Flusher::Instance().Add(own);
    }
    err = 0;
    return file;
}

NewTextFile::~NewTextFile() {
    ::close(static_cast<int>(handle_));
    if (flushTicket_ != 0) {
        Flusher::Instance().Close(flushTicket_);
    }
}

int NewTextFile::Append(const char* data, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(static_cast<int>(handle_), data, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : ENOSPC;
        }
        data += n;
        count -= static_cast<std::size_t>(n);
    }
    if (flushTicket_ != 0) {
        Flusher::Instance().Dirty(flushTicket_);
    }
    return 0;
}

} // namespace vemor
