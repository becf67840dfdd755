#pragma once
// What /proc says about this process.

#include <fstream>
#include <string>

namespace vemor::testing {

// Resident memory in KiB, or -1.
inline long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

} // namespace vemor::testing
