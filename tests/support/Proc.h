#pragma once
// What /proc says about this process.

#include <filesystem>
#include <fstream>
#include <string>

namespace vemor::testing {

// A figure of a /proc status file ("VmRSS:" in KiB, "voluntary_ctxt_switches:" ...), or -1.
inline long StatusFigure(const std::string& field, const std::string& file = "/proc/self/status") {
    std::ifstream status(file);
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

inline long StatusKiB(const std::string& field) {
    return StatusFigure(field);
}

// The times this process's thread named `name` went to sleep so far, or -1 without one.
inline long ThreadSleeps(const std::string& name) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string comm;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        if (comm == name) {
            return StatusFigure("voluntary_ctxt_switches:", (task.path() / "status").string());
        }
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
