#pragma once
// A limit on the size of the files this process writes (POSIX): writes past it fail with
// EFBIG, as on a full volume.

#include <csignal>
#include <sys/resource.h>

namespace vemor::testing {

// For as long as it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN); // EFBIG instead of the signal
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit tight = saved_;
        tight.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
};

} // namespace vemor::testing
