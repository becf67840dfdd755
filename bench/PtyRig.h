#pragma once
// For the window's benchmarks: a pseudo-terminal behind COM10 in a private ports folder.

#include <cstdlib>
#include <filesystem>
#include <pty.h>
#include <unistd.h>

namespace vemor::bench {

class PtyRig {
public:
    PtyRig() {
        char tmpl[] = "/tmp/vemor-bench-XXXXXX";
        dir_ = mkdtemp(tmpl);
        setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        std::filesystem::create_directories(dir_ / "vemor" / "ports");
        char name[128];
        openpty(&master_, &slave_, name, nullptr, nullptr);
        std::filesystem::create_symlink(name, dir_ / "vemor" / "ports" / "com10");
    }
    ~PtyRig() {
        close(master_);
        close(slave_);
        std::filesystem::remove_all(dir_);
    }
    PtyRig(const PtyRig&) = delete;
    PtyRig& operator=(const PtyRig&) = delete;

    // The ECU's side of the line.
    int Master() const { return master_; }

private:
    std::filesystem::path dir_;
    int master_ = -1;
    int slave_ = -1; // held so the line does not hang up before the monitor opens it
};

} // namespace vemor::bench
