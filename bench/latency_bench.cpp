// Time from a frame written at the line's other side to the window: its label text set, and
// its label painted. Frames are written at the line's own pace by a second thread. Also how
// often the label is painted and the live chart moves while they come.
#include "Application.h"
#include "Main.h"
#include "PtyRig.h"
#include "StripChart.h"

#include "../tests/support/Frames.h"

#include <QLabel>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct PaintWatch : QObject {
    std::vector<Clock::time_point>* painted;
    std::int64_t* shownAtPaint;
    QObject* label = nullptr;
    int labelPaints = 0;
    int chartPaints = 0;
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Paint && watched != label) {
            ++chartPaints;
        }
        if (e->type() == QEvent::Paint && watched == label) {
            ++labelPaints;
            const auto now = Clock::now();
            const std::int64_t shown = Form1->Display().History(0).Count();
            while (*shownAtPaint < shown) {
                (*painted)[static_cast<std::size_t>((*shownAtPaint)++)] = now;
            }
        }
        return false;
    }
};

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[static_cast<std::size_t>(q * (ms.size() - 1))]; };
    std::printf("%-28s median %6.2f ms   p99 %6.2f ms   max %6.2f ms   (%zu frames)\n", what,
                at(0.5), at(0.99), ms.back(), ms.size());
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TApplication app(argc, argv);
    vemor::bench::PtyRig rig;

    if (!vemor::bench::OpenMonitor()) {
        return 1;
    }

    std::vector<Clock::time_point> written(static_cast<std::size_t>(frames));
    std::vector<Clock::time_point> shown(static_cast<std::size_t>(frames));
    std::vector<Clock::time_point> painted(static_cast<std::size_t>(frames));
    std::int64_t shownAtPaint = 0;
    PaintWatch watch;
    watch.painted = &painted;
    watch.shownAtPaint = &shownAtPaint;
    watch.label = Form1->LabelRPM;
    Form1->LabelRPM->installEventFilter(&watch);
    Form1->Display().Strip()->installEventFilter(&watch);

    std::atomic<bool> done{false}; // writer thread sets it after the last frame
    std::thread writer([&] {
        const auto start = Clock::now();
        for (int i = 0; i < frames; ++i) {
            const auto line =
                vemor::testing::Payload().Set(vemor::byte_pos::Rpm, 1 + i % 200).Line();
            // The line carries 6250 bytes per second.
            std::this_thread::sleep_until(start + std::chrono::microseconds(5600) * i);
            written[static_cast<std::size_t>(i)] = Clock::now();
            rig.line.Write(line);
        }
        done.store(true);
    });

    std::int64_t seen = 0;
    const auto start = Clock::now();
    const auto deadline = Clock::now() + std::chrono::seconds(10 + frames / 100);
    while ((shownAtPaint < frames) && Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto now = Clock::now();
        const std::int64_t count = Form1->Display().History(0).Count();
        while (seen < count) {
            shown[static_cast<std::size_t>(seen++)] = now;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();

    // The first frame also goes through the stream's start (it is joined mid-way by design
    // only when the port opens mid-frame; here it opens before), so every frame counts.
    std::vector<double> toText;
    std::vector<double> toPaint;
    for (int i = 0; i < std::min<std::int64_t>(seen, shownAtPaint); ++i) {
        const auto k = static_cast<std::size_t>(i);
        toText.push_back(std::chrono::duration<double, std::milli>(shown[k] - written[k]).count());
        toPaint.push_back(
            std::chrono::duration<double, std::milli>(painted[k] - written[k]).count());
    }
    if (toText.empty()) {
        std::fprintf(stderr, "no frame reached the window\n");
        return 1;
    }
    Report("written -> label text set", toText);
    Report("written -> label painted", toPaint);
    std::printf("label painted %.1f times a second, live chart moved %.1f times a second\n",
                watch.labelPaints / seconds, watch.chartPaints / seconds);
    Form1->Button1Click(nullptr);
    delete Form1;
    return 0;
}
