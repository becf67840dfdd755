#pragma once
// Capture file to CSV: the 16-byte time header, then the body run through the frame
// assembler from a reset state; one row per accepted frame, numbers as the labels show them.

#include "vemor/Assembler.h"
#include "vemor/Capture.h"
#include "vemor/capture/JournalRecord.h"
#include "vemor/capture/Output.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vemor::decode {

inline constexpr std::size_t DefaultBlockSize = std::size_t{1} << 20;

inline constexpr const char* CsvHeader =
    "frame,offset,rpm,battery_v,coolant_c,intake_c,pulse_width,map,o2,tps,byte14";
// The last column, after the payload columns, so that readers of the older columns can
// ignore it.
inline constexpr const char* TimeColumn = "time_s";
// With a journal, just before time_s: the local time at the frame's end, and the marks made
// since the frame before.
inline constexpr const char* JournalColumns = "local_time,mark";

// The line's byte rate at 62500 baud, ten bits a byte: a frame's time from the start is its
// offset divided by this, exact while the line was saturated.
inline constexpr std::uint64_t LineBytesPerSecond = 6250;

// offset / 6250 in seconds with five decimals, which it always fits exactly.
std::string SecondsText(std::uint64_t offset, char sep = '.');

// Takes the decoded stream instead of rows. Called on the decoding thread.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Before the first frame, when the body's size is known: room can be made for them all.
    virtual void Expect(std::uint64_t /*bodyBytes*/) {}
    // An accepted frame (payload at 0..30), valid during the call; end is the body offset
    // just past its closing 0x00, as the offset column has it.
    virtual void Frame(const std::uint8_t* frame, std::uint64_t end) = 0;
    // A frame of the wrong length whose pair ended at end; not the partial frame the capture
    // began in.
    virtual void Rejected(std::uint64_t end) = 0;
};

struct Summary {
    std::array<std::uint8_t, CaptureHeaderLength> header{};
    std::uint64_t bodyBytes = 0;
    std::uint64_t frames = 0;
    std::uint64_t dropped = 0;    // frames of the wrong length: the rejected stretches
    std::uint64_t frameBytes = 0; // body bytes of accepted frames, each from the pair before
    // The rest of a frame the capture began in, up to the first pair when that pair ends no
    // accepted frame; and the frame it ended in, after the last pair. Not the line's faults.
    std::uint64_t partialStartBytes = 0;
    std::uint64_t lastPairEnd = 0;
    std::uint64_t PartialEndBytes() const { return bodyBytes - lastPairEnd; }
    // Body bytes of the rejected stretches.
    std::uint64_t DroppedBytes() const {
        return bodyBytes - frameBytes - partialStartBytes - PartialEndBytes();
    }
};

// Shared by the decoding thread and a thread that watches it or stops it.
struct Progress {
    std::atomic<bool> cancel{false};
    std::atomic<std::uint64_t> done{0};  // file bytes decoded
    std::atomic<std::uint64_t> total{0}; // the file's size when it was opened
};

struct Options {
    bool payload = false;         // add p0..p30
    bool info = false;            // header times and counts instead of rows
    FrameSink* sink = nullptr;    // frames go here instead of rows; nothing is written
    Progress* progress = nullptr; // told after every block, read for a cancel
    Summary* summary = nullptr;   // the counts, when the decoding has ended
    bool refuseOddHeader = false; // a header without time texts fails instead of a warning
    // An earlier decoding of this file into the sink: only what follows its last pair is
    // decoded, as if it went on from there (the header is read again, for its stop time).
    const Summary* resume = nullptr;
    std::size_t blockSize = DefaultBlockSize;
    // The capture's journal: its columns in the rows, its events after the --info lines
    // under the name journalName.
    const JournalRecord* journal = nullptr;
    std::string journalName = {};
};

// The journal's cells of rows that come in the order of their frames. A mark belongs to the
// first frame that ends at or after it. Owner: one thread.
class JournalCells {
public:
    explicit JournalCells(const JournalRecord& journal) : journal_(journal) {}
    // Rows begin after the frame that ends here: the marks up to it are not theirs.
    void SkipMarksTo(std::uint64_t end);
    // Takes the cells of the frame ending at end, never before the last one's; returns the
    // room that Put needs.
    std::size_t Prepare(std::uint64_t end);
    // ",local_time,mark" of the prepared frame; returns the end.
    char* Put(char* out) const;

private:
    const JournalRecord& journal_;
    std::size_t entry_ = 0;
    std::size_t mark_ = 0;
    std::int64_t ms_ = 0;
    // The local time's text up to its milliseconds, the same for the frames of a second.
    std::int64_t second_ = std::numeric_limits<std::int64_t>::min();
    char stamp_[WallTextRoom] = {};
    std::size_t stampLength_ = 0;
    std::string marks_; // the prepared mark cell, quoted where it must be
};

// A CSV cell as RFC 4180 has it: in double quotes, its own doubled, when it holds a comma,
// a quote or a line end.
std::string CsvCell(std::string_view text);

// The CSV header line, newline included.
std::string CsvHeaderLine(bool payload, bool journal = false);
// One CSV row without payload columns, as the decoder writes it for that frame; with the
// journal's cells when journal is given.
void AppendRow(OutputBuffer& out, std::uint64_t frame, std::uint64_t end,
               const std::uint8_t* payload, JournalCells* journal = nullptr);

// Bytes as a terminal can show them: control bytes as \xNN, the backslash doubled; others
// (the regional texts may use 8-bit characters) as they are.
std::string Escaped(const std::uint8_t* p, std::size_t n);

// Text up to the first zero byte of a header field, escaped.
std::string HeaderText(const std::uint8_t* field, std::size_t width);

// The header's times as a reader is shown them. A capture not finished has no stop time (empty
// here); its stop field may hold the tail of a longer start time ("PM"), shown with the start.
struct HeaderTimes {
    std::string start;
    std::string stop;
};
HeaderTimes ReadHeaderTimes(const std::array<std::uint8_t, CaptureHeaderLength>& h);

// What makes each header field no time text ("the header's start time ... is not a time
// text"). A time text is printable characters with a digit among them, then zero bytes to
// the field's end. An empty stop field is a capture that was never finished, and it may hold
// the tail of a longer start time; an empty start field is not a capture's.
std::vector<std::string> HeaderProblems(const std::array<std::uint8_t, CaptureHeaderLength>& h);
// The same as warning lines.
std::vector<std::string> HeaderWarnings(const std::array<std::uint8_t, CaptureHeaderLength>& h);

// Takes the file's bytes in any pieces. Owner: one thread.
class CaptureDecoder {
public:
    CaptureDecoder(const Options& options, OutputBuffer& out);

    void Feed(const std::uint8_t* p, std::size_t n);
    // False when the input ended inside the header. Otherwise writes the --info lines
    // (in that mode) and flushes; the caller checks the buffer for a write failure.
    bool Finish();

    bool HeaderComplete() const { return headerHave_ == CaptureHeaderLength; }
    // Goes on from the last pair of an earlier decoding: the assembler's state after a pair is
    // its state from reset, so only the counts are needed. The body bytes after that pair come
    // next, and the header is the file's as it now is.
    void Resume(const Summary& earlier, const std::array<std::uint8_t, CaptureHeaderLength>& h);
    const Summary& summary() const { return summary_; }

private:
    void FeedBody(const std::uint8_t* p, std::size_t n);
    template <bool Payload, bool Journal>
    void FeedRows(const std::uint8_t* p, std::size_t n);
    template <class OnFrame>
    void FeedFrames(const std::uint8_t* p, std::size_t n, OnFrame&& onFrame);

    Options options_;
    OutputBuffer& out_;
    FrameAssembler assembler_;
    std::optional<JournalCells> journal_;
    Summary summary_;
    std::size_t headerHave_ = 0;
};

// Changed: the file became shorter while it was read, so what was decoded is a fraction of
// something that is no longer there; reading it again may give all of it.
enum class Status { Ok, InputError, OutputError, Cancelled, Changed };

struct Result {
    Status status = Status::Ok;
    std::string message; // "FILE: reason" or the output's reason; empty when Ok
};

inline constexpr const char* ShortFileReason = "file is shorter than the 16-byte header";
inline constexpr const char* NotRegularReason = "not a regular file";
// Windows: the capture is open, alone, in another monitor that records it (a monitor reads
// its own through its writer).
inline constexpr const char* BeingRecordedReason =
    "the capture is being recorded, and the monitor recording it keeps it open to itself; "
    "it can be read once Stop Capture, Save File or closing the monitor has finished it";
inline constexpr const char* ChangedReason =
    "the file changed while it was read: it became shorter than when it was opened";

using WarnFn = std::function<void(const std::string& line)>;

// Streams the file in blocks of options.blockSize bytes, in constant memory, up to the size
// it had when opened (a capture still being written is read as far as it was then); a file
// that ends before that size is Changed. Anything
// but a regular file is refused before a byte is read. Each header warning goes to warn as
// "FILE: warning: ..." as soon as the header is in.
Result DecodeFile(const std::string& path, const Options& options, Writer& out,
                  const WarnFn& warn = {});

// The same on a capture already in memory, e.g. for fuzzing.
Result DecodeBytes(const std::uint8_t* data, std::size_t n, const Options& options, Writer& out,
                   const std::string& name = "<memory>");

} // namespace vemor::decode
