#include "vemor/capture/CaptureFile.h"

#include "Flusher.h"
#include "Recording.h"

#include <algorithm>

namespace vemor {

bool CaptureFile::Append(const std::uint8_t* data, std::size_t count) {
    // Nothing passes what waits, so the file keeps the order of the line.
    if (WaitingBytes() > 0 && !Retry()) {
        Wait(data, count);
        return false;
    }
    std::size_t done = 0;
    const int err = WriteBody(data, count, done);
    Wrote(done);
    if (err != 0) {
        lastError_ = err;
        Wait(data + done, count - done);
        return false;
    }
    return true;
}

bool CaptureFile::Retry() {
    if (WaitingBytes() == 0) {
        return true;
    }
    std::size_t done = 0;
    const int err = WriteBody(waiting_.data() + waitingAt_, WaitingBytes(), done);
    Wrote(done);
    waitingAt_ += done;
    if (err == 0) {
        waiting_.clear();
        waitingAt_ = 0;
        return true;
    }
    lastError_ = err;
    if (waitingAt_ > waiting_.size() / 2) { // keeps the buffer from creeping
        waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<long>(waitingAt_));
        waitingAt_ = 0;
    }
    return false;
}

void CaptureFile::Wrote(std::size_t done) {
    if (done == 0) {
        return;
    }
    bodyBytes_ += done;
    recording_->Wrote(CaptureHeaderLength + bodyBytes_);
    if (flushTicket_ != 0) {
        Flusher::Instance().Dirty(flushTicket_);
    }
}

void CaptureFile::Wait(const std::uint8_t* data, std::size_t count) {
    const std::size_t room = WaitingLimit - std::min<std::size_t>(WaitingLimit, WaitingBytes());
    const std::size_t take = std::min(room, count);
    waiting_.insert(waiting_.end(), data, data + take);
    if (take < count) {
        if (lost_ == 0) {
            lostFrom_ = bodyBytes_ + WaitingBytes();
        }
        lost_ += count - take;
    }
}

bool CaptureFile::FinishBody() {
    if (Retry()) {
        return true;
    }
    if (lost_ == 0) {
        lostFrom_ = bodyBytes_;
    }
    lost_ += WaitingBytes();
    waiting_.clear();
    waitingAt_ = 0;
    return false;
}

} // namespace vemor
