// Throughput of the frame assembler and of the frame-to-texts conversion.
#include "vemor/Assembler.h"
#include "vemor/Display.h"
#include "vemor/Values.h"

#include "../tests/support/Frames.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

// About one payload byte in 256 is FF, as in a real stream; every frame is well formed.
std::vector<std::uint8_t> RealisticStream(int frames) {
    std::mt19937 rng(7);
    return vemor::testing::RandomFrames(frames, rng, 256);
}

void BM_AssembleByte(benchmark::State& state) {
    const auto stream = RealisticStream(30000); // about 1 MB
    vemor::FrameAssembler a;
    std::uint64_t frames = 0;
    for (auto _ : state) {
        a.AssembleBytes(stream.data(), stream.size(), [&](const std::uint8_t* f) {
            ++frames;
            benchmark::DoNotOptimize(f);
        });
    }
    benchmark::DoNotOptimize(frames);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_AssembleByte);

// The same stream fed one call per byte, as a caller without a batch would.
void BM_AssembleByteOneAtATime(benchmark::State& state) {
    const auto stream = RealisticStream(30000);
    vemor::FrameAssembler a;
    std::uint64_t frames = 0;
    for (auto _ : state) {
        for (std::uint8_t b : stream) {
            a.AssembleByte(b, [&](const std::uint8_t*) { ++frames; });
        }
    }
    benchmark::DoNotOptimize(frames);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_AssembleByteOneAtATime);

void BM_FrameToTexts(benchmark::State& state) {
    const auto stream = RealisticStream(256);
    std::size_t at = 0;
    for (auto _ : state) {
        const std::uint8_t* frame = stream.data() + at;
        auto texts = vemor::LabelTexts(frame, '.');
        auto values = vemor::ChartValues(frame);
        benchmark::DoNotOptimize(texts);
        benchmark::DoNotOptimize(values);
        at = (at + 33) % (stream.size() - 64);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetLabel("items = frames");
}
BENCHMARK(BM_FrameToTexts);

// The whole frame-to-display sequence on a display that discards everything.
class NullDisplay : public vemor::Display {
public:
    void SetLabelText(vemor::Label, const std::string& t) override { benchmark::DoNotOptimize(t); }
    void AppendY(int, double y) override {
        benchmark::DoNotOptimize(y);
        ++points;
    }
    double LastX(int) const override { return static_cast<double>(points / 6); }
    bool BottomAxisAutomatic() const override { return false; }
    void ClearBottomAxisAutomatic() override {}
    void SetBottomAxisMaximum(double v) override { max = v; }
    double BottomAxisMaximum() const override { return max; }
    void SetBottomAxisMinimum(double v) override { benchmark::DoNotOptimize(v); }
    void AddMark(double x) override { benchmark::DoNotOptimize(x); }
    std::size_t points = 0;
    double max = 0;
};

void BM_ShowFrameSequence(benchmark::State& state) {
    const auto stream = RealisticStream(256);
    NullDisplay d;
    std::size_t at = 0;
    for (auto _ : state) {
        vemor::ShowFrame(stream.data() + at, d, '.');
        at = (at + 33) % (stream.size() - 64);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ShowFrameSequence);

} // namespace

BENCHMARK_MAIN();
