#pragma once
// Small capture files built byte by byte, decoded by the golden-file tests.

#include "../support/Frames.h"
#include "../support/TempDir.h"

#include "vemor/capture/Decode.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vemor::decode::testing {

using vemor::testing::Bytes;
using vemor::testing::Cat;
using vemor::testing::Payload;
using vemor::testing::TempDir;

// Payload bytes 1..31 (no FF, no 00), then the given bytes set.
Payload Sample(std::initializer_list<std::pair<int, int>> set = {});
// A 16-byte header as StartCapture and, when stop is given, FinishCapture leave it.
Bytes Header(const std::string& start, const char* stop);

struct GoldenCapture {
    std::string name;
    std::string about;
    Bytes bytes;
    std::string journal = {}; // the text of the journal beside it; empty for none
};

// Writes the capture as dir/<name>.cap and its journal beside it; returns the capture's path.
std::string WriteGolden(const TempDir& dir, const GoldenCapture& capture);

std::vector<GoldenCapture> GoldenCaptures();

// A finished capture of random frames (about one payload byte in 64 an FF) with rejected
// stretches between them: runs of up to 600 bytes and lone pairs.
Bytes RandomCapture(unsigned seed, int frames);

// A capture of 300 frames from 12:00:00 with its journal: a time mark at 3300, the line lost
// at 4950 (0.792 s) for 10 s, marks "1" at 6600 and "2: a note, with a comma" at 8250, and
// the stop at the end, 11.584 s from the start.
struct CaptureWithJournal {
    Bytes capture;
    std::string journal;
};
CaptureWithJournal OutageCapture();

// Each capture is decoded in each mode; golden file <capture><suffix>.
struct OutputMode {
    std::string suffix;
    std::vector<std::string> args;
    Options options;
};

inline std::vector<OutputMode> OutputModes() {
    return {
        {".csv", {}, Options{}},
        {".payload.csv", {"--payload"}, Options{.payload = true}},
        {".info", {"--info"}, Options{.info = true}},
    };
}

} // namespace vemor::decode::testing
