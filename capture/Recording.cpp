#include "Recording.h"

#include <algorithm>
#include <vector>

namespace vemor {

namespace {

struct Registry {
    std::mutex lock; // guards list; any thread
    std::vector<std::shared_ptr<Recording>> list;
};

Registry& Recordings() {
    static Registry registry;
    return registry;
}

} // namespace

std::shared_ptr<Recording> Recording::Start(const FileId& id, Handle handle,
                                            std::uint64_t fileBytes) {
    auto made = std::make_shared<Recording>(id, handle, fileBytes);
    Registry& r = Recordings();
    std::lock_guard lock(r.lock);
    r.list.push_back(made);
    return made;
}

void Recording::End(const std::function<void()>& close) {
    {
        std::lock_guard lock(lock_);
        if (ended_) {
            return;
        }
        ended_ = true;
        close();
    }
    Registry& r = Recordings();
    std::lock_guard lock(r.lock);
    std::erase_if(r.list, [this](const std::shared_ptr<Recording>& c) { return c.get() == this; });
}

std::shared_ptr<Recording> Recording::Find(const FileId& id) {
    if (!id.Valid) {
        return nullptr;
    }
    Registry& r = Recordings();
    std::lock_guard lock(r.lock);
    const auto it =
        std::find_if(r.list.begin(), r.list.end(),
                     [&id](const std::shared_ptr<Recording>& c) { return c->id_ == id; });
    return it != r.list.end() ? *it : nullptr;
}

bool Recording::ReadAt(std::uint64_t offset, std::uint8_t* p, std::size_t n, std::size_t& got,
                       int& error) {
    std::lock_guard lock(lock_);
    got = 0;
    error = 0;
    if (ended_) {
        return false;
    }
    const std::uint64_t size = Size();
    if (offset < size) {
        error =
            ReadWrittenAt(handle_, offset, p,
                          static_cast<std::size_t>(std::min<std::uint64_t>(n, size - offset)), got);
    }
    return true;
}

bool IsOpenCapture(const FileId& id) {
    return Recording::Find(id) != nullptr;
}

} // namespace vemor
