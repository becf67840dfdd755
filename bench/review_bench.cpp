// A day-long capture (540 MB at the line's rate) in the capture viewer, window offscreen:
// time until the whole capture is shown, the longest the event loop waited meanwhile, peak
// resident memory, and the redraw time of pans and zooms at several levels.
// vemor-bench-review [CAPTURE]: without a file, one is generated in TMPDIR and removed.
#include "Application.h"
#include "CaptureViewer.h"
#include "TempCapture.h"

#include "../tests/support/Proc.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <qcustomplot.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using vemor::decode::XUnit;

constexpr std::size_t DayBytes = 540'000'000;

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Time {
    double wall, cpu; // ms; the GUI thread's CPU time does not count other programs' load
};

// One replot of the chart as it is drawn on screen, graphs refilled for the new range.
Time Redraw(vemor::CaptureViewer& v, double lo, double hi) {
    const auto start = Clock::now();
    const double cpu = ThreadCpuMs();
    v.ShowRange(lo, hi);
    v.Chart()->replot(QCustomPlot::rpImmediateRefresh);
    return {Ms(Clock::now() - start), ThreadCpuMs() - cpu};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    std::unique_ptr<vemor::bench::TempCapture> generated;
    std::string path = argc > 1 ? argv[1] : "";
    if (path.empty()) {
        std::printf("generating a %zu-byte capture...\n", DayBytes);
        std::fflush(stdout);
        generated = std::make_unique<vemor::bench::TempCapture>(DayBytes);
        path = generated->path();
    }
    TApplication app(argc, argv);
    const long startKiB = vemor::testing::ResidentKiB();

    // The event loop's longest wait while the capture loads: how responsive the window is.
    QElapsedTimer sinceTick;
    qint64 longestTick = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longestTick = std::max(longestTick, sinceTick.restart()); });

    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    vemor::CaptureViewer* v = vemor::CaptureViewer::Open(QString::fromStdString(path));
    v->resize(1400, 800);
    QEventLoop waiting;
    bool shown = false;
    QObject::connect(v, &vemor::CaptureViewer::Loaded, [&] {
        QObject::connect(v->Chart(), &QCustomPlot::afterReplot, [&] {
            shown = true;
            waiting.quit();
        });
    });
    QObject::connect(v, &QObject::destroyed, &waiting, &QEventLoop::quit); // refused
    sinceTick.start();
    tick.start(5);
    waiting.exec();
    if (!shown) {
        std::fprintf(stderr, "the capture was refused\n");
        return 1;
    }
    tick.stop();
    const double shownMs = Ms(Clock::now() - start);
    const double loadCpu = CpuSeconds() - cpuBefore;
    const vemor::decode::CaptureIndex& index = *v->Index();

    std::printf("capture: %s, %llu bytes, %llu frames, %llu rejected stretches\n", path.c_str(),
                static_cast<unsigned long long>(index.Counts().bodyBytes + 16),
                static_cast<unsigned long long>(index.Frames()),
                static_cast<unsigned long long>(index.Counts().dropped));
    std::printf("whole capture shown after %.0f ms (target 3000 ms); process CPU meanwhile "
                "%.2f s; longest event-loop wait %lld ms\n",
                shownMs, loadCpu, static_cast<long long>(longestTick));
    std::printf("resident memory: %.1f MiB before, %.1f MiB after, peak %.1f MiB (target 250 MB "
                "= 238.4 MiB); index %.1f MiB\n",
                startKiB / 1024.0, vemor::testing::ResidentKiB() / 1024.0,
                vemor::testing::PeakResidentKiB() / 1024.0,
                static_cast<double>(index.MemoryBytes()) / 1048576.0);
    std::printf("chart plot area %d pixels wide\n", v->Chart()->axisRect()->width());

    // Each level: 20 pans by a tenth of the width, then a zoom in and out around the middle.
    std::printf("%-8s %10s | %-26s | %-26s\n", "", "", "wall ms: pan median, max, zoom",
                "GUI thread CPU ms: the same");
    std::printf("%-8s %10s |\n", "unit", "frames");
    Time worst{0, 0};
    for (XUnit unit : {XUnit::Frames, XUnit::Seconds}) {
        v->SetUnit(unit);
        const double full = vemor::decode::FullWidth(index, unit);
        for (double share : {1.0, 0.1, 0.01, 1e-3, 1e-4, 1e-5}) {
            const double width = full * share;
            std::vector<double> wall, cpu;
            double lo = full / 2 - width / 2;
            for (int i = 0; i < 20; ++i) {
                lo += width / 10 * (i < 10 ? 1 : -1);
                const Time t = Redraw(*v, lo, lo + width);
                wall.push_back(t.wall);
                cpu.push_back(t.cpu);
            }
            const Time in = Redraw(*v, lo + width / 4, lo + width * 3 / 4);
            const Time out = Redraw(*v, lo, lo + width);
            std::sort(wall.begin(), wall.end());
            std::sort(cpu.begin(), cpu.end());
            const Time zoom{std::max(in.wall, out.wall), std::max(in.cpu, out.cpu)};
            worst.wall = std::max({worst.wall, wall.back(), zoom.wall});
            worst.cpu = std::max({worst.cpu, cpu.back(), zoom.cpu});
            const auto frames = vemor::decode::FramesIn(index, lo, lo + width, unit);
            std::printf("%-8s %10llu | %7.1f %7.1f %8.1f   | %7.1f %7.1f %8.1f\n",
                        unit == XUnit::Frames ? "frames" : "seconds",
                        static_cast<unsigned long long>(frames.second - frames.first),
                        wall[wall.size() / 2], wall.back(), zoom.wall, cpu[cpu.size() / 2],
                        cpu.back(), zoom.cpu);
        }
    }
    std::printf("slowest redraw: %.1f ms wall, %.1f ms GUI thread CPU (target 30 ms)\n", worst.wall,
                worst.cpu);

    // Playback from the middle, at 1x and at 64x, over a view of the whole capture and of 10 s:
    // how fast the cursor goes through the recorded time, and how long each replot takes.
    std::printf("playback (seconds unit): view, speed, recorded s per wall s, replots, replot ms "
                "median and max\n");
    v->SetUnit(XUnit::Seconds);
    const auto key = [v](int k) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(v, &press);
    };
    QElapsedTimer replot;
    std::vector<double> replots;
    QObject::connect(v->Chart(), &QCustomPlot::beforeReplot, [&] { replot.start(); });
    QObject::connect(v->Chart(), &QCustomPlot::afterReplot,
                     [&] { replots.push_back(static_cast<double>(replot.nsecsElapsed()) / 1e6); });
    double slowestPlay = 0;
    const double full = vemor::decode::FullWidth(index, XUnit::Seconds);
    for (const double width : {full, 10.0}) {
        for (const int doublings : {0, 6}) {
            const std::uint64_t middle = index.Frames() / 2;
            v->ShowRange(full / 2 - width / 2, full / 2 + width / 2);
            v->SetCursorFrame(middle);
            for (int d = 0; d < doublings; ++d) {
                key(Qt::Key_BracketRight);
            }
            replots.clear();
            const auto from = Clock::now();
            key(Qt::Key_Space);
            QEventLoop playing;
            QTimer::singleShot(3000, &playing, &QEventLoop::quit);
            playing.exec();
            key(Qt::Key_Space);
            const double wall = Ms(Clock::now() - from) / 1000;
            const double played =
                vemor::decode::OffsetSeconds(index, index.End(*v->CursorFrame())) -
                vemor::decode::OffsetSeconds(index, index.End(middle));
            std::sort(replots.begin(), replots.end());
            const double most = replots.empty() ? 0 : replots.back();
            slowestPlay = std::max(slowestPlay, most);
            std::printf("  %8.0f s %3dx %8.3f %6zu %7.1f %7.1f\n", width, 1 << doublings,
                        played / wall, replots.size(),
                        replots.empty() ? 0 : replots[replots.size() / 2], most);
            for (int d = 0; d < doublings; ++d) {
                key(Qt::Key_BracketLeft);
            }
        }
    }
    std::printf("slowest replot while playing: %.1f ms (target 30 ms)\n", slowestPlay);
    std::printf("load average at the end: %s",
                [] {
                    std::ifstream in("/proc/loadavg");
                    std::string line;
                    std::getline(in, line);
                    return line + "\n";
                }()
                    .c_str());
    std::fflush(stdout);
    vemor::CaptureViewer::CloseAll();
    return 0;
}
