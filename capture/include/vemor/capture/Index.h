#pragma once
// A capture held for review. Per accepted frame it keeps only the nine payload bytes that the
// labels, the chart and the CSV use, and one byte from which the frame's offset follows, so a
// day at the line's rate (16 million frames) takes about 170 MB; a min/max summary per zoom
// level answers any stretch of frames in time that grows with the logarithm of its length.

#include "vemor/Values.h"
#include "vemor/capture/Decode.h"
#include "vemor/capture/JournalRecord.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vemor::decode {

// The payload positions kept per frame, in column order.
inline constexpr std::array<int, 9> KeptBytes = {
    byte_pos::Map, byte_pos::Coolant, byte_pos::Intake, byte_pos::Battery,    byte_pos::O2,
    byte_pos::Rpm, byte_pos::Tps,     byte_pos::Byte14, byte_pos::PulseWidth,
};

// Smallest and largest raw byte of each chart trace (series positions 0..5) over a stretch,
// and whether a rejected stretch lies before any of its frames.
struct Extent {
    std::array<std::uint8_t, SeriesCount> lo;
    std::array<std::uint8_t, SeriesCount> hi;
    bool rejected = false;
    bool Empty() const { return lo[0] > hi[0]; }
    void Widen(const Extent& other) {
        for (std::size_t t = 0; t < lo.size(); ++t) {
            lo[t] = std::min(lo[t], other.lo[t]);
            hi[t] = std::max(hi[t], other.hi[t]);
        }
        rejected = rejected || other.rejected;
    }
};

// Built on one thread, then handed over whole; after Seal it is only read, from any thread.
class CaptureIndex {
public:
    // Frames in each summary bucket of the finest level; each coarser level doubles it.
    static constexpr std::uint64_t BucketFrames = 32;

    CaptureIndex();

    // Room for this many frames in all; memory that no frame reaches is never touched.
    void Reserve(std::uint64_t frames);
    void Add(const std::uint8_t* payload, std::uint64_t end) {
        if (count_ == capacity_) {
            Reserve(capacity_ + capacity_ / 2 + 1024);
        }
        const std::uint64_t frame = count_++;
        for (std::size_t k = 0; k < KeptBytes.size(); ++k) {
            columns_[k][frame] = payload[KeptBytes[k]];
        }
        const std::uint64_t gap = end - lastEnd_ - FrameLength;
        std::uint8_t meta = gap < Overflow ? static_cast<std::uint8_t>(gap) : Overflow;
        if (meta == Overflow) [[unlikely]] {
            overflow_.emplace_back(frame, end);
        }
        if (pendingReject_) [[unlikely]] {
            meta |= RejectBit;
            pendingReject_ = false;
        }
        columns_[MetaColumn][frame] = meta;
        if (frame % CheckpointFrames == 0) {
            checkpoints_.push_back(end);
        }
        lastEnd_ = end;
    }
    // A frame of the wrong length ended here, before the next accepted frame.
    void Reject() { pendingReject_ = true; }
    // Builds the summary levels (those of new frames only, after a growth) and keeps the
    // decoder's counts.
    void Seal(const Summary& summary);

    std::uint64_t Frames() const { return count_; }
    const Summary& Counts() const { return summary_; }
    // Body offset just past the frame's closing 0x00: the decoder's offset column.
    std::uint64_t End(std::uint64_t frame) const;
    // End(frame) from End(frame - 1), in constant time.
    std::uint64_t EndFrom(std::uint64_t frame, std::uint64_t previousEnd) const;
    // The first frame whose End is at least offset; Frames() when there is none.
    std::uint64_t FirstEndingAtOrAfter(std::uint64_t offset) const;
    // The frame's payload with the kept bytes in place and the others zero.
    std::array<std::uint8_t, PayloadLength> Payload(std::uint64_t frame) const;
    std::uint8_t TraceByte(int trace, std::uint64_t frame) const;
    // A rejected stretch lies between this frame and the accepted one before it (or the
    // start); with frame == Frames(), after the last accepted frame.
    bool RejectedBefore(std::uint64_t frame) const;
    // Frames [first, last).
    Extent Range(std::uint64_t first, std::uint64_t last) const;
    // The longest summarised piece that starts at frame, ends by last and spans at most
    // `most` frames: a bucket of some level, or the frame alone. Sets e to its extent and
    // returns its length, so that walking a stretch in pieces reads few more than
    // (last - frame) / most of them.
    std::uint64_t Piece(std::uint64_t frame, std::uint64_t last, std::uint64_t most,
                        Extent& e) const;

    std::size_t MemoryBytes() const;

    // The capture's journal, read beside it; null without one. JournalError() says why one
    // that is there was not read.
    void SetJournal(std::optional<JournalRecord> journal, std::string error);
    const JournalRecord* Journal() const { return journal_ ? &*journal_ : nullptr; }
    const std::string& JournalError() const { return journalError_; }

private:
    void Merge(Extent& e, std::uint64_t frame) const;

    static constexpr std::uint8_t RejectBit = 0x80;
    static constexpr std::uint8_t Overflow = 0x7F; // the gap is looked up in overflow_
    static constexpr std::uint64_t CheckpointFrames = 64;

    // The kept bytes, then per frame: RejectBit, and the gap to the previous frame's end less
    // 33 bytes. Filled up to count_, allocated up to capacity_.
    static constexpr std::size_t MetaColumn = KeptBytes.size();
    std::array<std::unique_ptr<std::uint8_t[]>, KeptBytes.size() + 1> columns_;
    std::uint64_t count_ = 0;
    std::uint64_t capacity_ = 0;
    std::array<const std::uint8_t*, SeriesCount> traces_{}; // the column of each chart trace
    std::vector<std::uint64_t> checkpoints_;                // End of every 64th frame
    std::vector<std::pair<std::uint64_t, std::uint64_t>> overflow_; // frame, End
    std::uint64_t lastEnd_ = 0;
    bool pendingReject_ = false;
    bool rejectedAtEnd_ = false;
    // levels_[l][b]: frames [b * 32 << l, (b + 1) * 32 << l), whole buckets only.
    std::vector<std::vector<Extent>> levels_;
    Summary summary_;
    std::optional<JournalRecord> journal_;
    std::string journalError_;
};

struct Loaded {
    Result result;
    std::unique_ptr<CaptureIndex> index; // set when result is Ok
};

// Decodes the capture as vemor-decode does, into an index. The header must hold time texts.
Loaded LoadCapture(const std::string& path, Progress* progress = nullptr);

// Reads what was added to the capture since the index was built or last grown, and its
// journal again; grew says whether anything changed. An index being read elsewhere (an
// export) must not be grown meanwhile.
Result GrowCapture(const std::string& path, CaptureIndex& index, bool& grew);

// What a cursor on the frame reads: the label texts as the live window shows them, the
// chart's values, and where the frame lies.
struct Readout {
    FrameTexts labels;
    std::array<double, SeriesCount> traces;
    std::uint64_t frame = 0;
    std::uint64_t end = 0;
    std::string seconds;
};
Readout ReadFrame(const CaptureIndex& index, std::uint64_t frame, char sep);

// The decoder's CSV of frames [first, last): the header line, then their rows.
Result ExportCsv(const CaptureIndex& index, std::uint64_t first, std::uint64_t last, Writer& out,
                 Progress* progress = nullptr);
// The same into a file, which appears whole or not at all.
Result ExportCsvFile(const CaptureIndex& index, std::uint64_t first, std::uint64_t last,
                     const std::string& path, Progress* progress = nullptr);

} // namespace vemor::decode
