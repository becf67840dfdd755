// The capture decoder's file reader on arbitrary files.
#include "Check.h"

#include "vemor/capture/Decode.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::size_t Count(const std::string& s, char c) {
    std::size_t n = 0;
    for (char x : s) {
        n += x == c;
    }
    return n;
}

} // namespace

using vemor::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The file goes through the real read(2) path, in blocks of a size the input chooses.
    const int fd = memfd_create("capture", MFD_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            close(fd);
            return 0;
        }
        done += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    vemor::decode::Options rows;
    rows.blockSize = size > 0 ? 1 + data[0] % 97 : 1;
    vemor::decode::StringWriter small;
    const auto r1 = vemor::decode::DecodeFile(path, rows, small);

    vemor::decode::Options whole;
    vemor::decode::StringWriter big;
    const auto r2 = vemor::decode::DecodeFile(path, whole, big);
    close(fd);

    Check(r1.status == r2.status);
    Check(small.text == big.text);
    if (size < vemor::CaptureHeaderLength) {
        Check(r1.status == vemor::decode::Status::InputError && small.text.empty());
        return 0;
    }
    Check(r1.status == vemor::decode::Status::Ok);
    // One header line, then one line of twelve columns per frame.
    const std::size_t lines = Count(small.text, '\n');
    Check(lines >= 1);
    Check(Count(small.text, ',') == lines * 11);
    Check(lines - 1 <= (size - vemor::CaptureHeaderLength) / 2);
    return 0;
}
