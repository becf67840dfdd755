#pragma once
// A capture file of engine-like frames for the benchmarks, generated once into TMPDIR and
// removed with the object.

#include "vemor/Assembler.h"
#include "vemor/Capture.h"

#include <cstdint>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace vemor::bench {

// Payloads with about one FF in 256 bytes (sent doubled), and every 1000th frame broken (one
// byte short) so the drop path is exercised too.
inline std::vector<std::uint8_t> Stream(std::size_t bytes, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> byte(0, 254);
    std::uniform_int_distribution<int> oneIn256(0, 255);
    std::vector<std::uint8_t> out;
    out.reserve(bytes + 128);
    std::uint8_t payload[PayloadLength];
    for (std::size_t f = 0; out.size() < bytes; ++f) {
        for (auto& b : payload) {
            b = oneIn256(rng) == 0 ? 0xFF : static_cast<std::uint8_t>(byte(rng));
        }
        AppendLineFrame(out, payload);
        if (f % 1000 == 999) {
            out.erase(out.end() - 3); // a short frame, dropped
        }
    }
    return out;
}

class TempCapture {
public:
    explicit TempCapture(std::size_t bodyBytes) {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir && *dir ? dir : "/tmp") + "/vemor-bench-capture-XXXXXX";
        const int fd = ::mkstemp(path_.data());
        if (fd < 0) {
            throw std::runtime_error("cannot create " + path_);
        }
        const auto header = StartHeader("14:03:07");
        bool ok = ::write(fd, header.data(), header.size()) == ssize_t(header.size());
        // Written in 16 MiB pieces so generating needs no more memory than that.
        for (std::size_t done = 0; ok && done < bodyBytes;) {
            const auto piece = Stream(std::min<std::size_t>(16 << 20, bodyBytes - done), done + 1);
            ok = ::write(fd, piece.data(), piece.size()) == ssize_t(piece.size());
            done += piece.size();
            bytes_ += piece.size();
        }
        ::close(fd);
        if (!ok) {
            ::unlink(path_.c_str());
            throw std::runtime_error("cannot write " + path_);
        }
        bytes_ += header.size();
    }
    ~TempCapture() { ::unlink(path_.c_str()); }
    TempCapture(const TempCapture&) = delete;
    TempCapture& operator=(const TempCapture&) = delete;
    const std::string& path() const { return path_; }
    std::size_t bytes() const { return bytes_; }

private:
    std::string path_;
    std::size_t bytes_ = 0;
};

} // namespace vemor::bench
