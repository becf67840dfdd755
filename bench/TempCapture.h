#pragma once
// A capture file of engine-like frames for the benchmarks, generated once into TMPDIR and
// removed with the object.

#include "vemor/Assembler.h"
#include "vemor/Capture.h"

#include "../tests/support/Frames.h"
#include "../tests/support/TempDir.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace vemor::bench {

// Payloads with about one FF in 256 bytes (sent doubled), and every 1000th frame broken (one
// byte short) so the drop path is exercised too.
inline std::vector<std::uint8_t> Stream(std::size_t bytes, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> out;
    out.reserve(bytes + 128);
    for (std::size_t f = 0; out.size() < bytes; ++f) {
        AppendLineFrame(out, testing::RandomPayload(rng, 256).data());
        if (f % 1000 == 999) {
            out.erase(out.end() - 3); // a short frame, dropped
        }
    }
    return out;
}

class TempCapture {
public:
    explicit TempCapture(std::size_t bodyBytes) {
        std::ofstream out(path_, std::ios::binary);
        const auto header = StartHeader("14:03:07");
        out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
        bytes_ = header.size();
        // Written in 16 MiB pieces so generating needs no more memory than that.
        for (std::size_t done = 0; out && done < bodyBytes;) {
            const auto piece = Stream(std::min<std::size_t>(16 << 20, bodyBytes - done), done + 1);
            out.write(reinterpret_cast<const char*>(piece.data()), std::streamsize(piece.size()));
            done += piece.size();
            bytes_ += piece.size();
        }
        if (!out.flush()) {
            throw std::runtime_error("cannot write " + path_);
        }
    }
    TempCapture(const TempCapture&) = delete;
    TempCapture& operator=(const TempCapture&) = delete;
    const std::string& path() const { return path_; }
    std::size_t bytes() const { return bytes_; }

private:
    testing::TempDir dir_{"vemor-bench-capture"};
    std::string path_ = dir_.File("capture.$$$");
    std::size_t bytes_ = 0;
};

} // namespace vemor::bench
