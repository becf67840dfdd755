#pragma once
// A span of the recent record saved as a capture of its own, with its journal beside it.

#include "vemor/Capture.h"
#include "vemor/capture/RecentRecord.h"

#include <cstdint>
#include <string>

namespace vemor {

struct WrittenRecent {
    std::string FullPath;
    std::uint64_t BodyBytes = 0;
    std::string JournalFailure; // why the capture has no whole journal; empty: it has
};

// Writes `piece` as a new capture under the next free name of `names` (a name whose capture
// or journal exists is taken): the header's start time the time of day of its first byte,
// its stop time `savedAt`, both in `format`. Throws the operator's text, naming the file,
// when the capture could not be written whole. GUI thread, like `names`.
WrittenRecent WriteRecent(const RecentPiece& piece, CaptureNamer& names, const WallTime& savedAt,
                          const TimeFormat& format);

} // namespace vemor
