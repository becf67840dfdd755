#pragma once
// What /proc says about this process.

#include <fstream>
#include <string>

namespace vemor::testing {

// A figure of /proc/self/status in KiB ("VmRSS:", "VmHWM:" ...), or -1.
inline long StatusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == field) {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

// Resident memory in KiB, or -1.
inline long ResidentKiB() {
    return StatusKiB("VmRSS:");
}

// The most resident memory so far, in KiB, or -1.
inline long PeakResidentKiB() {
    return StatusKiB("VmHWM:");
}

} // namespace vemor::testing
