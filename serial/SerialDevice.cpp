#include "SerialDevice.h"

#include <algorithm>

namespace vemor {

std::chrono::nanoseconds RestTime(std::chrono::steady_clock::time_point now,
                                  std::chrono::steady_clock::time_point until, std::int64_t queued,
                                  std::int64_t baudRate) {
    constexpr std::int64_t BitsPerByte = 10;
    constexpr std::int64_t SlackBytes = 16;
    constexpr std::int64_t NsPerSecond = 1'000'000'000;
    if (until <= now || baudRate <= 0) {
        return {};
    }
    const std::int64_t read = ReadSize;
    const std::int64_t arrived = queued + std::chrono::nanoseconds(until - now).count() * baudRate /
                                              (BitsPerByte * NsPerSecond);
    const std::int64_t reads = std::max<std::int64_t>(1, (arrived + read - 1) / read);
    const std::int64_t missing = reads * read - queued + SlackBytes;
    return std::chrono::nanoseconds(std::max<std::int64_t>(0, missing) * BitsPerByte * NsPerSecond /
                                    baudRate);
}

OpenFacts SerialDevice::Explain(const std::string& path, OpenStep, int) {
    OpenFacts facts;
    facts.Device = path;
    return facts;
}

int SerialDevice::ActualBaudRate(PortHandleValue) {
    return 0;
}

bool SerialDevice::GetLineErrors(PortHandleValue, LineErrors&) {
    return false;
}

std::vector<PresentPort> SerialDevice::Present() {
    return {};
}

} // namespace vemor
