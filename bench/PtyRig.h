#pragma once
// For the window's benchmarks: a pseudo-terminal behind COM10 in a private ports folder, and
// the window opened on it.

#include "Main.h"

#include <QTest>

#include <cstdio>
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

// Shows the window and opens COM10 in it, as an operator would; false when that fails.
inline bool OpenMonitor() {
    Form1 = new TForm1;
    Form1->show();
    (void)QTest::qWaitForWindowExposed(Form1);
    Form1->Button1Click(nullptr);
    if (SerialThread == nullptr) {
        std::fprintf(stderr, "cannot open the pseudo-terminal\n");
        return false;
    }
    return true;
}

} // namespace vemor::bench
