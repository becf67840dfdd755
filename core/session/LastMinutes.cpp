#include "vemor/LastMinutes.h"

#include "vemor/Messages.h"
#include "vemor/Session.h"
#include "vemor/capture/WriteRecent.h"

#include <algorithm>
#include <exception>

namespace vemor {

std::string MinutesText(int minutes) {
    return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

void Session::SaveLastMinutes(int minutes) {
    const std::int64_t now = Now();
    const std::int64_t spanMs = std::int64_t{minutes} * 60'000;
    const RecentPiece piece = recent_.Since(now - spanMs, {TimeMarkMs, SilenceMs});
    const std::string asked = "the last " + MinutesText(minutes);
    if (piece.Body.empty()) {
        ShowStatus("Nothing was received in " + asked + "; nothing was saved.");
        return;
    }
    WrittenRecent written;
    try {
        written = WriteRecent(piece, CaptureNames(), LocalWallTime(), TimeFormatFromLocale());
    } catch (const std::exception& e) {
        ShowStatus("");
        window_.ShowError("Cannot save " + asked + ": " + e.what());
        return;
    }
    std::string text = "Saved " + asked + " as " + written.FullPath + ", " +
                       ByteCountText(written.BodyBytes, decimalSeparator_);
    // A second's slack: the first byte after the span's start comes a read later.
    const std::int64_t heldMs = now - piece.FirstMs;
    if (heldMs + 1000 < spanMs) {
        text += "; bytes came only in the last " +
                ElapsedText(static_cast<std::uint64_t>(std::max<std::int64_t>(heldMs, 0) / 1000));
    }
    if (!written.JournalFailure.empty()) {
        text += "; without its journal: " + written.JournalFailure;
    }
    ShowStatus(text);
}

} // namespace vemor
