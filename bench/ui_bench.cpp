// The window's receive path and chart repaint, on Qt's offscreen platform.
#include "Application.h"
#include "Main.h"
#include "PtyRig.h"

#include "../tests/support/Frames.h"

#include <QTest>
#include <qcustomplot.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::uint8_t> Stream(int frames) {
    std::mt19937 rng(3);
    return vemor::testing::RandomFrames(frames, rng);
}

// A port behind a pseudo-terminal, so that the real ThreadIO and OnRxData are measured.
struct OpenPort {
    vemor::bench::PtyRig line;
    OpenPort() { Form1->Button1Click(nullptr); }
    ~OpenPort() { Form1->Button1Click(nullptr); }
};

// Queues chunks of 64 bytes as the reader would, then delivers one notification: one drain
// of up to 8192 bytes, decoded and shown.
void BM_OnRxData(benchmark::State& state) {
    OpenPort port;
    const auto stream = Stream(4096);
    std::size_t at = 0;
    std::int64_t frames = 0;
    for (auto _ : state) {
        for (int c = 0; c < 128; ++c) {
            if (at + 64 > stream.size()) {
                at = 0;
            }
            SerialThread->AppendChunk(stream.data() + at, 64);
            at += 64;
        }
        const auto before = Form1->Display().History(0).Count();
        TMessage m(vemor::WM_RXDATA, 64, 8192);
        QCoreApplication::sendEvent(Form1, &m);
        frames += Form1->Display().History(0).Count() - before;
    }
    QCoreApplication::processEvents();
    state.SetItemsProcessed(frames);
    state.SetLabel("items = frames shown");
}
BENCHMARK(BM_OnRxData)->Unit(benchmark::kMicrosecond);

// One full repaint of the chart with a full visible window of six traces.
void BM_ChartRepaint(benchmark::State& state) {
    const bool antialiased = state.range(0) != 0;
    const auto stream = Stream(3000);
    Form1->FeedBytes(stream.data(), stream.size());
    QCustomPlot* chart = Form1->Chart1;
    if (antialiased) {
        chart->setAntialiasedElements(QCP::aeAll);
    }
    for (auto _ : state) {
        chart->replot(QCustomPlot::rpImmediateRefresh);
    }
    chart->setNotAntialiasedElements(QCP::aeAll);
    state.SetLabel(antialiased ? "antialiased lines" : "plain lines (the window's setting)");
}
BENCHMARK(BM_ChartRepaint)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TApplication app(argc, argv);
    Form1 = new TForm1;
    Form1->show();
    (void)QTest::qWaitForWindowExposed(Form1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete Form1;
    return 0;
}
