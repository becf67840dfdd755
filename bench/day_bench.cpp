// A day at the line's rate, accelerated: 16 million frames through the receive path (reader
// queue, notification, drain, assembler, labels and chart, the ten-minute record) with the
// window offscreen; then the last ten minutes saved as a capture.
#include "Application.h"
#include "Main.h"
#include "PtyRig.h"

#include "../tests/support/Frames.h"
#include "../tests/support/Proc.h"
#include "../tests/support/TempDir.h"

#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {} // namespace

int main(int argc, char** argv) {
    const long long frames = argc > 1 ? std::atoll(argv[1]) : 16'000'000;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TApplication app(argc, argv);
    vemor::bench::PtyRig line;

    if (!vemor::bench::OpenMonitor()) {
        return 1;
    }

    // A block of varied frames, fed again and again in 64-byte chunks as the reader queues them.
    std::mt19937 rng(11);
    const std::vector<std::uint8_t> block = vemor::testing::RandomFrames(4096, rng);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const vemor::RecentRecord& recent = Form1->Session.Recent();
    std::printf("%12s %10s %14s %12s\n", "frames", "seconds", "resident KiB", "record KiB");
    std::printf("%12lld %10.1f %14ld %12zu\n", 0LL, 0.0, vemor::testing::ResidentKiB(),
                recent.HeldBytes() / 1024);
    const auto& shown = Form1->Display().History(0);
    long long nextReport = frames / 8;
    std::size_t at = 0;
    while (shown.Count() < frames) {
        for (int c = 0; c < 128; ++c) { // one drain's worth
            if (at + 64 > block.size()) {
                at = 0;
            }
            SerialThread->AppendChunk(block.data() + at, 64);
            at += 64;
        }
        TMessage m(vemor::WM_RXDATA, 64, 8192);
        QCoreApplication::sendEvent(Form1, &m);
        QCoreApplication::processEvents(); // the folded paints, as the event loop would do them
        if (shown.Count() >= nextReport) {
            const double s = std::chrono::duration<double>(Clock::now() - start).count();
            std::printf("%12lld %10.1f %14ld %12zu\n", static_cast<long long>(shown.Count()), s,
                        vemor::testing::ResidentKiB(), recent.HeldBytes() / 1024);
            std::fflush(stdout);
            nextReport += frames / 8;
        }
    }
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%lld frames in %.1f s: %.0f frames per second, %.0f times the line's rate\n",
                static_cast<long long>(shown.Count()), s, shown.Count() / s,
                shown.Count() / s / 189.4);
    {
        const vemor::testing::TempDir dir("vemor-bench-day", vemor::testing::TempDir::Enter::Yes);
        const auto saveStart = Clock::now();
        Form1->Session.SaveLastMinutes(10);
        std::printf("last ten minutes saved in %.0f ms: %s\n",
                    std::chrono::duration<double, std::milli>(Clock::now() - saveStart).count(),
                    Form1->StatusBar1->currentMessage().toLocal8Bit().constData());
    }
    Form1->Button1Click(nullptr);
    delete Form1;
    return 0;
}
