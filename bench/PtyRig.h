#pragma once
// For the window's benchmarks: a pseudo-terminal behind COM10 in a private ports folder, and
// the window opened on it.

#include "Main.h"

#include "../tests/support/Pty.h"

#include <QTest>

#include <cstdio>

namespace vemor::bench {

struct PtyRig {
    PtyRig() { ports.Link(10, line.Name()); }
    testing::PortsDir ports;
    testing::PtyLine line; // the ECU's side of COM10
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
