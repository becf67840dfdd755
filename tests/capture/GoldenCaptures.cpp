#include "GoldenCaptures.h"

#include "vemor/Assembler.h"
#include "vemor/Capture.h"

#include <random>

namespace vemor::decode::testing {

namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

const Bytes Pair = {0xFF, 0x00};

// n bytes without FF whose position in the run can be read back from their values.
Bytes Run(int n) {
    Bytes out;
    for (int j = 0; j < n; ++j) {
        out.push_back(static_cast<std::uint8_t>(j % 200 + 1));
    }
    return out;
}

} // namespace

Bytes Payload(std::initializer_list<std::pair<int, std::uint8_t>> set) {
    Bytes p;
    for (int k = 0; k < PayloadLength; ++k) {
        p.push_back(static_cast<std::uint8_t>(k + 1));
    }
    for (const auto& [index, value] : set) {
        p.at(static_cast<std::size_t>(index)) = value;
    }
    return p;
}

Bytes Line(const Bytes& payload) {
    Bytes out;
    AppendLineFrame(out, payload.data());
    return out;
}

Bytes Header(const std::string& start, const char* stop) {
    const auto h = StartHeader(start);
    Bytes out(h.begin(), h.end());
    if (stop != nullptr) {
        const auto s = StopField(stop);
        std::copy(s.begin(), s.end(), out.begin() + CaptureStopOffset);
    }
    return out;
}

std::vector<GoldenCapture> GoldenCaptures() {
    Bytes unescapedLast = Payload({{9, 25}});
    unescapedLast.back() = 0xFF; // sent single: the pair after it is taken for an escape
    Bytes cutOff = Line(Payload({{9, 62}}));
    cutOff.resize(17);

    return {
        {"basic", "label numbers at their edges, doubled FF in several places",
         Cat({Header("14:03:07", "14:05:11"),
              Line(Payload({{9, 1},
                            {6, 201},
                            {4, 0},
                            {5, 255},
                            {19, 25},
                            {3, 0xFF},
                            {7, 0x80},
                            {12, 0},
                            {14, 0xFF}})),
              Line(Payload({{9, 0}, {6, 2}, {4, 64}, {5, 243}, {19, 0}, {30, 0xFF}})),
              Line(Payload(
                  {{9, 255}, {6, 255}, {4, 244}, {5, 63}, {19, 255}, {10, 0xFF}, {11, 0x00}})),
              Line(Payload({{9, 100}, {6, 194}, {4, 100}, {5, 1}, {19, 100}})),
              Line(Payload({{0, 0xFF}, {1, 0xFF}, {6, 0}}))})},
        {"dropped", "joined mid-frame, wrong lengths, an unescaped FF, a wrapped buffer",
         Cat({Header("09:15:00", "09:20:30"), Bytes{0x01, 0x02, 0x03, 0x04, 0x05},
              Line(Payload({{9, 10}})), Line(Payload({{9, 20}})), Bytes(32, 0x11), Pair, Pair,
              unescapedLast, Pair, Line(Payload({{9, 30}})), Line(Payload({{9, 40}})), Run(543),
              Pair, Run(542), Pair, Line(Payload({{9, 50}})), Bytes{0xAA, 0xBB}})},
        {"twelve_hour", "started 2:03:07 PM, finished 2:05:11 PM",
         Cat({Header("2:03:07 PM", "2:05:11 PM"), Line(Payload({{9, 156}})),
              Line(Payload({{9, 157}}))})},
        {"unfinished", "never finished: stop bytes zero, the last frame cut off",
         Cat({Header("14:03:07", nullptr), Line(Payload({{9, 60}})), Line(Payload({{9, 61}})),
              cutOff})},
        {"empty_body", "a capture during which nothing was received",
         Header("14:03:07", "14:03:09")},
    };
}

Bytes RandomCapture(unsigned seed, int frames) {
    std::mt19937 rng(seed);
    auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    Bytes out = Header("14:03:07", "14:05:11");
    for (int f = 0; f < frames; ++f) {
        if (below(20) == 0) {
            int n = below(600);
            n = n == PayloadLength ? n + 1 : n; // never a frame of the right length
            const Bytes run = Run(n);
            out.insert(out.end(), run.begin(), run.end());
            out.insert(out.end(), Pair.begin(), Pair.end());
        }
        Bytes payload(PayloadLength);
        for (auto& b : payload) {
            b = below(64) == 0 ? 0xFF : static_cast<std::uint8_t>(below(256));
        }
        AppendLineFrame(out, payload.data());
    }
    return out;
}

} // namespace vemor::decode::testing
