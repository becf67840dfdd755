#pragma once
// Buffered text output that hands large pieces to a file descriptor (or a string in tests)
// and remembers the first failure, so a full disk or a closed pipe cannot pass as success.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace vemor::decode {

class Writer {
public:
    virtual ~Writer() = default;
    // Writes all n bytes; false when that failed, and Error() says why.
    virtual bool Write(const char* p, std::size_t n) = 0;
    virtual std::string Error() const = 0;
    // The errno of the failure, where there is one.
    virtual int ErrorNumber() const { return 0; }
};

// write(2) to a descriptor it does not own, resuming after short writes and EINTR.
class FdWriter final : public Writer {
public:
    FdWriter(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    bool Write(const char* p, std::size_t n) override;
    std::string Error() const override;
    int ErrorNumber() const override { return errno_; }

private:
    int fd_;
    std::string name_;
    int errno_ = 0;
};

class StringWriter final : public Writer {
public:
    bool Write(const char* p, std::size_t n) override {
        text.append(p, n);
        return true;
    }
    std::string Error() const override { return {}; }
    std::string text;
};

inline constexpr std::size_t DefaultOutputCapacity = std::size_t{1} << 20;

// Owner: one thread. After the first failed write everything further is discarded.
class OutputBuffer {
public:
    explicit OutputBuffer(Writer& writer, std::size_t capacity = DefaultOutputCapacity);

    // Room for at least n bytes at the returned pointer; flushes if needed.
    char* Reserve(std::size_t n) {
        if (capacity_ - used_ < n) {
            MakeRoom(n);
        }
        return data_.get() + used_;
    }
    // Marks the bytes up to end (inside the last reservation) as written.
    void Commit(char* end) { used_ = static_cast<std::size_t>(end - data_.get()); }
    void Append(std::string_view text);

    bool Flush();
    bool Failed() const { return failed_; }
    std::string Error() const { return writer_.Error(); }

private:
    void MakeRoom(std::size_t n);

    Writer& writer_;
    std::unique_ptr<char[]> data_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    bool failed_ = false;
};

} // namespace vemor::decode
