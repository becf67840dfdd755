// Throughput of vemor-decode: MB of capture file decoded per second, to CSV or --info, with
// the output thrown away (/dev/null). The capture is generated once, VEMOR_DECODE_BENCH_MB
// megabytes (default 128), in TMPDIR.
#include "TempCapture.h"

#include "vemor/Assembler.h"
#include "vemor/Capture.h"
#include "vemor/Values.h"
#include "vemor/capture/Decode.h"
#include "vemor/capture/Journal.h"
#include "vemor/capture/JournalRecord.h"
#include "vemor/capture/Output.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using vemor::decode::Options;

using vemor::bench::Stream;
using vemor::bench::TempCapture;

const TempCapture& Capture() {
    static const TempCapture capture = [] {
        const char* mb = std::getenv("VEMOR_DECODE_BENCH_MB");
        return TempCapture((mb ? std::strtoul(mb, nullptr, 10) : 128) << 20);
    }();
    return capture;
}

void DecodeToDevNull(benchmark::State& state, Options options) {
    const TempCapture& capture = Capture();
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    vemor::decode::FdWriter out(devNull, "/dev/null");
    for (auto _ : state) {
        const auto result = vemor::decode::DecodeFile(capture.path(), options, out);
        if (result.status != vemor::decode::Status::Ok) {
            state.SkipWithError(result.message.c_str());
            break;
        }
    }
    ::close(devNull);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * capture.bytes()));
    state.SetLabel(std::to_string(capture.bytes() >> 20) + " MiB capture");
}

void BM_DecodeFileCsv(benchmark::State& state) {
    DecodeToDevNull(state, Options{});
}
BENCHMARK(BM_DecodeFileCsv)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_DecodeFileCsvPayload(benchmark::State& state) {
    Options o;
    o.payload = true;
    DecodeToDevNull(state, o);
}
BENCHMARK(BM_DecodeFileCsvPayload)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// With a journal as the monitor writes it: a time mark every 5 seconds of the line, and a
// mark now and then.
void BM_DecodeFileCsvJournal(benchmark::State& state) {
    const std::int64_t start = vemor::WallMs({2026, 12, 9, 17, 9, 5, 0});
    std::string text = vemor::JournalHeading;
    for (std::uint64_t offset = 0, n = 0; offset < Capture().bytes(); offset += 31250, ++n) {
        const auto at = vemor::WallTimeAt(start + static_cast<std::int64_t>(n) * 5000);
        text += vemor::JournalLine(offset, at, vemor::journal::Time, "");
        if (n % 50 == 0) {
            text += vemor::JournalLine(offset, at, vemor::journal::Mark, std::to_string(n / 50));
        }
    }
    const vemor::JournalRecord journal(text);
    Options o;
    o.journal = &journal;
    DecodeToDevNull(state, o);
}
BENCHMARK(BM_DecodeFileCsvJournal)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_DecodeFileInfo(benchmark::State& state) {
    Options o;
    o.info = true;
    DecodeToDevNull(state, o);
}
BENCHMARK(BM_DecodeFileInfo)->Unit(benchmark::kMillisecond)->MinTime(2.0);

class NullWriter final : public vemor::decode::Writer {
public:
    bool Write(const char* p, std::size_t n) override {
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(n);
        return true;
    }
    std::string Error() const override { return {}; }
};

// In memory, so only the assembling and the row formatting are timed.
void BM_RowsInMemory(benchmark::State& state) {
    auto stream = Stream(8 << 20, 3);
    const auto header = vemor::StartHeader("14:03:07");
    stream.insert(stream.begin(), header.begin(), header.end());
    NullWriter out;
    for (auto _ : state) {
        vemor::decode::DecodeBytes(stream.data(), stream.size(), Options{}, out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_RowsInMemory)->Unit(benchmark::kMillisecond);

// The same rows built by calling the core's number functions for every frame: the
// alternative to the decoder's per-byte tables, kept to show what the tables buy.
void BM_RowsInMemoryCoreCallsPerFrame(benchmark::State& state) {
    const auto stream = Stream(8 << 20, 3);
    NullWriter writer;
    for (auto _ : state) {
        vemor::decode::OutputBuffer out(writer);
        vemor::FrameAssembler a;
        std::uint64_t frame = 0;
        a.AssembleBytes(stream.data(), stream.size(), [&](const std::uint8_t* f, std::size_t i) {
            char* o = out.Reserve(512);
            o = std::to_chars(o, o + 20, frame++).ptr;
            *o++ = ',';
            o = std::to_chars(o, o + 20, i + 1).ptr;
            for (const std::string& s :
                 {vemor::RpmNumber(f[vemor::byte_pos::Rpm]),
                  vemor::BatteryNumber(f[vemor::byte_pos::Battery], '.'),
                  vemor::TemperatureNumber(f[vemor::byte_pos::Coolant]),
                  vemor::TemperatureNumber(f[vemor::byte_pos::Intake]),
                  vemor::PulseWidthNumber(f[vemor::byte_pos::PulseWidth], '.')}) {
                *o++ = ',';
                o = s.copy(o, s.size()) + o;
            }
            for (int k : {vemor::byte_pos::Map, vemor::byte_pos::O2, vemor::byte_pos::Tps,
                          vemor::byte_pos::Byte14}) {
                *o++ = ',';
                o = std::to_chars(o, o + 3, f[k]).ptr;
            }
            *o++ = '\n';
            out.Commit(o);
        });
        out.Flush();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_RowsInMemoryCoreCallsPerFrame)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
