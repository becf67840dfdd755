#include "vemor/capture/Decode.h"

#include "CaptureInput.h"

#include "vemor/Values.h"
#include "vemor/capture/Journal.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace vemor::decode {

namespace {

// A column's text with its leading comma, copied as one 8-byte unit.
struct Cell {
    char text[7];
    std::uint8_t length;
};
static_assert(sizeof(Cell) == 8);

// Every column is a function of one byte, so the core's number texts are taken once per
// byte value; calling them per frame costs a string per field (measured in the benchmark).
struct NumberCells {
    std::array<Cell, 256> rpm, battery, temperature, pulseWidth, plain;
};

Cell MakeCell(const std::string& number) {
    Cell c{};
    if (number.size() + 1 > sizeof c.text) {
        throw std::logic_error("number text longer than its cell: " + number);
    }
    c.text[0] = ',';
    number.copy(c.text + 1, number.size());
    c.length = static_cast<std::uint8_t>(number.size() + 1);
    return c;
}

const NumberCells& Cells() {
    static const NumberCells cells = [] {
        NumberCells t;
        constexpr char sep = '.';
        for (int v = 0; v < 256; ++v) {
            const auto b = static_cast<std::uint8_t>(v);
            t.rpm[v] = MakeCell(RpmNumber(b));
            t.battery[v] = MakeCell(BatteryNumber(b, sep));
            t.temperature[v] = MakeCell(TemperatureNumber(b));
            t.pulseWidth[v] = MakeCell(PulseWidthNumber(b, sep));
            t.plain[v] = MakeCell(std::to_string(v));
        }
        return t;
    }();
    return cells;
}

// Writes a whole Cell; the byte after the text is overwritten by what follows.
inline char* Put(char* out, const Cell& cell) {
    std::memcpy(out, &cell, sizeof cell);
    return out + cell.length;
}

inline char* PutCount(char* out, std::uint64_t v) {
    return std::to_chars(out, out + 20, v).ptr;
}

// offset / 6250 = offset * 16 / 100000: the whole seconds, then five decimals.
inline char* PutSeconds(char* out, std::uint64_t offset, char sep) {
    out = std::to_chars(out, out + 20, offset / LineBytesPerSecond).ptr;
    *out++ = sep;
    auto fraction = static_cast<std::uint32_t>(offset % LineBytesPerSecond * 16);
    for (int d = 4; d >= 0; --d) {
        out[d] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return out + 5;
}

// Three 20-digit numbers and the seconds' decimals, 40 cells, the separators, a newline,
// and the slack of the last whole-cell copy.
constexpr std::size_t MaxRowLength = 3 * 20 + 8 + 40 * sizeof(Cell) + 1 + sizeof(Cell);

template <bool Payload, bool Journal>
void WriteRow(OutputBuffer& out, const NumberCells& cells, JournalCells* journal,
              std::uint64_t frame, std::uint64_t end, const std::uint8_t* f) {
    std::size_t room = MaxRowLength;
    if constexpr (Journal) {
        room += journal->Prepare(end);
    }
    char* o = out.Reserve(room);
    o = PutCount(o, frame);
    *o++ = ',';
    o = PutCount(o, end);
    o = Put(o, cells.rpm[f[byte_pos::Rpm]]);
    o = Put(o, cells.battery[f[byte_pos::Battery]]);
    o = Put(o, cells.temperature[f[byte_pos::Coolant]]);
    o = Put(o, cells.temperature[f[byte_pos::Intake]]);
    o = Put(o, cells.pulseWidth[f[byte_pos::PulseWidth]]);
    o = Put(o, cells.plain[f[byte_pos::Map]]);
    o = Put(o, cells.plain[f[byte_pos::O2]]);
    o = Put(o, cells.plain[f[byte_pos::Tps]]);
    o = Put(o, cells.plain[f[byte_pos::Byte14]]);
    if constexpr (Payload) {
        for (int k = 0; k < PayloadLength; ++k) {
            o = Put(o, cells.plain[f[k]]);
        }
    }
    if constexpr (Journal) {
        o = journal->Put(o);
    }
    *o++ = ',';
    o = PutSeconds(o, end, '.');
    *o++ = '\n';
    out.Commit(o);
}

Result Finished(CaptureDecoder& decoder, OutputBuffer& out, const std::string& name,
                const Options& options) {
    const bool complete = decoder.Finish();
    if (options.summary != nullptr) {
        *options.summary = decoder.summary();
    }
    if (out.Failed()) {
        return {Status::OutputError, out.Error()};
    }
    if (!complete) {
        return {Status::InputError, name + ": " + ShortFileReason};
    }
    return {};
}

// The --info lines of a journal: its span, counts, then each event with the journal's
// escaping, so that every line stays one line whatever a note holds.
std::string JournalInfo(const JournalRecord& journal, const std::string& name) {
    std::size_t lost = 0;
    std::size_t closed = 0;
    for (const JournalSpell& s : journal.Spells()) {
        (s.kind == JournalSpell::Kind::LineLost ? lost : closed) += 1;
    }
    std::string text = "journal: " + name + "\n";
    text += "journal_duration: " + DurationText(journal.SpanMs()) + "\n";
    text += "marks: " + std::to_string(journal.Marks().size()) + "\n";
    text += "line_lost: " + std::to_string(lost) + " spells\n";
    text += "port_closed: " + std::to_string(closed) + " spells\n";
    for (const JournalEntry& e : journal.Entries()) {
        // Appended piece by piece: GCC 12 warns of an overlap in a chain of operator+.
        for (const std::string& piece :
             {std::string("event: "), std::to_string(e.offset), std::string(" "), WallText(e.ms),
              std::string(" "), EscapeJournalText(e.event)}) {
            text += piece;
        }
        if (!e.detail.empty()) {
            text += ' ';
            text += EscapeJournalText(e.detail);
        }
        text += '\n';
    }
    return text;
}

} // namespace

std::string SecondsText(std::uint64_t offset, char sep) {
    char text[32];
    return std::string(text, PutSeconds(text, offset, sep));
}

std::string CsvCell(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string cell = "\"";
    for (const char c : text) {
        cell += c;
        if (c == '"') {
            cell += c;
        }
    }
    return cell + "\"";
}

void JournalCells::SkipMarksTo(std::uint64_t end) {
    const auto& marks = journal_.Marks();
    while (mark_ < marks.size() && marks[mark_].offset <= end) {
        ++mark_;
    }
}

std::size_t JournalCells::Prepare(std::uint64_t end) {
    ms_ = journal_.MsAt(end, entry_);
    const std::int64_t second = ms_ >= 0 ? ms_ / 1000 : (ms_ - 999) / 1000;
    if (second != second_) {
        second_ = second;
        stampLength_ = static_cast<std::size_t>(PutWallText(stamp_, second * 1000) - stamp_) - 3;
    }
    marks_.clear();
    const auto& marks = journal_.Marks();
    if (mark_ < marks.size() && marks[mark_].offset <= end) [[unlikely]] {
        std::string text;
        for (const std::size_t first = mark_; mark_ < marks.size() && marks[mark_].offset <= end;
             ++mark_) {
            text += (mark_ == first ? "" : "; ") + marks[mark_].number;
            if (!marks[mark_].note.empty()) {
                text += ": " + marks[mark_].note;
            }
        }
        marks_ = CsvCell(text);
    }
    return 2 + WallTextRoom + marks_.size();
}

char* JournalCells::Put(char* out) const {
    *out++ = ',';
    out = std::copy(stamp_, stamp_ + stampLength_, out);
    const auto ms = static_cast<int>(ms_ - second_ * 1000);
    *out++ = static_cast<char>('0' + ms / 100);
    *out++ = static_cast<char>('0' + ms / 10 % 10);
    *out++ = static_cast<char>('0' + ms % 10);
    *out++ = ',';
    return std::copy(marks_.begin(), marks_.end(), out);
}

std::string CsvHeaderLine(bool payload, bool journal) {
    std::string line = CsvHeader;
    if (payload) {
        for (int k = 0; k < PayloadLength; ++k) {
            line += ",p" + std::to_string(k);
        }
    }
    if (journal) {
        line += std::string(",") + JournalColumns;
    }
    return line + "," + TimeColumn + "\n";
}

void AppendRow(OutputBuffer& out, std::uint64_t frame, std::uint64_t end,
               const std::uint8_t* payload, JournalCells* journal) {
    if (journal != nullptr) {
        WriteRow<false, true>(out, Cells(), journal, frame, end, payload);
    } else {
        WriteRow<false, false>(out, Cells(), nullptr, frame, end, payload);
    }
}

std::string Escaped(const std::uint8_t* p, std::size_t n) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = p[i];
        if (b < 0x20 || b == 0x7F) {
            text += "\\x";
            text += hex[b >> 4];
            text += hex[b & 15];
        } else if (b == '\\') {
            text += "\\\\";
        } else {
            text += static_cast<char>(b);
        }
    }
    return text;
}

std::string HeaderText(const std::uint8_t* field, std::size_t width) {
    const std::uint8_t* end = std::find(field, field + width, std::uint8_t{0});
    return Escaped(field, static_cast<std::size_t>(end - field));
}

HeaderTimes ReadHeaderTimes(const std::array<std::uint8_t, CaptureHeaderLength>& h) {
    const auto* stop = h.data() + CaptureStopOffset;
    const auto* stopEnd = std::find(stop, h.data() + CaptureHeaderLength, std::uint8_t{0});
    if (std::any_of(stop, stopEnd, [](std::uint8_t b) { return b >= '0' && b <= '9'; })) {
        return {HeaderText(h.data(), CaptureStopOffset), HeaderText(stop, CaptureStopLength)};
    }
    const bool spilled = stop != stopEnd && h[CaptureStopOffset - 1] != 0;
    return {HeaderText(h.data(), spilled ? CaptureHeaderLength : CaptureStopOffset), {}};
}

std::vector<std::string> HeaderProblems(const std::array<std::uint8_t, CaptureHeaderLength>& h) {
    struct Field {
        const char* name;
        const std::uint8_t* bytes;
        std::size_t width;
        bool stop;
    };
    const Field fields[] = {
        {"start", h.data(), CaptureStopOffset, false},
        {"stop", h.data() + CaptureStopOffset, CaptureStopLength, true},
    };
    std::vector<std::string> problems;
    for (const Field& f : fields) {
        const std::uint8_t* end = f.bytes + f.width;
        const std::uint8_t* text = std::find(f.bytes, end, std::uint8_t{0});
        const bool printable =
            std::none_of(f.bytes, text, [](std::uint8_t b) { return b < 0x20 || b == 0x7F; });
        const bool padded = std::all_of(text, end, [](std::uint8_t b) { return b == 0; });
        // A start time always begins with its hour within the field; the stop field of an
        // unfinished capture is empty or holds the tail of a longer start time ("PM").
        const bool hour = f.stop || std::any_of(f.bytes, text, [](std::uint8_t b) {
                              return b >= '0' && b <= '9';
                          });
        if (printable && padded && hour && (text != f.bytes || f.stop)) {
            continue;
        }
        const auto* last = end;
        while (last != f.bytes && last[-1] == 0) {
            --last;
        }
        const std::string shown =
            last == f.bytes ? std::string(" is empty")
                            : " \"" + Escaped(f.bytes, static_cast<std::size_t>(last - f.bytes)) +
                                  "\" is not a time text";
        problems.push_back(std::string("the header's ") + f.name + " time" + shown);
    }
    return problems;
}

std::vector<std::string> HeaderWarnings(const std::array<std::uint8_t, CaptureHeaderLength>& h) {
    std::vector<std::string> warnings;
    for (const std::string& problem : HeaderProblems(h)) {
        warnings.push_back("warning: " + problem + "; this may not be a capture file");
    }
    return warnings;
}

CaptureDecoder::CaptureDecoder(const Options& options, OutputBuffer& out)
    : options_(options), out_(out) {
    Cells(); // build the tables before the first row, not inside the decoding loop
    if (options_.journal != nullptr) {
        journal_.emplace(*options_.journal);
    }
}

void CaptureDecoder::Feed(const std::uint8_t* p, std::size_t n) {
    if (!HeaderComplete()) {
        const std::size_t take = std::min(n, CaptureHeaderLength - headerHave_);
        std::memcpy(summary_.header.data() + headerHave_, p, take);
        headerHave_ += take;
        p += take;
        n -= take;
        if (!HeaderComplete()) {
            return;
        }
        if (!options_.info && options_.sink == nullptr) {
            out_.Append(CsvHeaderLine(options_.payload, journal_.has_value()));
        }
    }
    if (n > 0) {
        FeedBody(p, n);
    }
}

void CaptureDecoder::FeedBody(const std::uint8_t* p, std::size_t n) {
    if (options_.sink != nullptr) {
        FrameSink& sink = *options_.sink;
        FeedFrames(p, n, [&sink](const std::uint8_t* f, std::uint64_t, std::uint64_t end) {
            sink.Frame(f, end);
        });
    } else if (options_.info) {
        FeedFrames(p, n, [](const std::uint8_t*, std::uint64_t, std::uint64_t) {});
    } else if (journal_) {
        options_.payload ? FeedRows<true, true>(p, n) : FeedRows<false, true>(p, n);
    } else {
        options_.payload ? FeedRows<true, false>(p, n) : FeedRows<false, false>(p, n);
    }
    summary_.bodyBytes += n;
}

template <bool Payload, bool Journal>
void CaptureDecoder::FeedRows(const std::uint8_t* p, std::size_t n) {
    const NumberCells& cells = Cells();
    OutputBuffer& out = out_;
    JournalCells* journal = journal_ ? &*journal_ : nullptr;
    FeedFrames(p, n, [&](const std::uint8_t* f, std::uint64_t frame, std::uint64_t end) {
        WriteRow<Payload, Journal>(out, cells, journal, frame, end, f);
    });
}

template <class OnFrame>
void CaptureDecoder::FeedFrames(const std::uint8_t* p, std::size_t n, OnFrame&& onFrame) {
    const std::uint64_t base = summary_.bodyBytes;
    std::uint64_t frame = summary_.frames;
    std::uint64_t frameBytes = summary_.frameBytes;
    std::uint64_t lastPairEnd = summary_.lastPairEnd;
    std::uint64_t dropped = summary_.dropped;
    FrameSink* sink = options_.sink;
    assembler_.AssembleBytes(
        p, n,
        [&](const std::uint8_t* f, std::size_t i) {
            const std::uint64_t end = base + i + 1; // just past the closing 0x00
            onFrame(f, frame++, end);
            frameBytes += end - lastPairEnd;
            lastPairEnd = end;
        },
        [&](std::size_t i) {
            const std::uint64_t end = base + i + 1;
            if (lastPairEnd == 0 && frame == 0) {
                summary_.partialStartBytes = end; // the capture began inside a frame
            } else {
                ++dropped;
                if (sink != nullptr) {
                    sink->Rejected(end);
                }
            }
            lastPairEnd = end;
        });
    summary_.frames = frame;
    summary_.frameBytes = frameBytes;
    summary_.dropped = dropped;
    summary_.lastPairEnd = lastPairEnd;
}

void CaptureDecoder::Resume(const Summary& earlier,
                            const std::array<std::uint8_t, CaptureHeaderLength>& h) {
    summary_ = earlier;
    summary_.header = h;
    summary_.bodyBytes = earlier.lastPairEnd;
    headerHave_ = CaptureHeaderLength;
    assembler_ = FrameAssembler{};
}

bool CaptureDecoder::Finish() {
    if (!HeaderComplete()) {
        return false;
    }
    if (options_.info) {
        const std::uint8_t* h = summary_.header.data();
        std::string text;
        text += "start: " + HeaderText(h, CaptureStopOffset) + "\n";
        text += "stop: " + HeaderText(h + CaptureStopOffset, CaptureStopLength) + "\n";
        text += "body_bytes: " + std::to_string(summary_.bodyBytes) + "\n";
        text += "frames: " + std::to_string(summary_.frames) + "\n";
        text += "dropped: " + std::to_string(summary_.dropped) + "\n";
        text += "dropped_bytes: " + std::to_string(summary_.DroppedBytes()) + "\n";
        text += "partial_start_bytes: " + std::to_string(summary_.partialStartBytes) + "\n";
        text += "partial_end_bytes: " + std::to_string(summary_.PartialEndBytes()) + "\n";
        if (options_.journal != nullptr) {
            text += JournalInfo(*options_.journal, options_.journalName);
        }
        out_.Append(text);
    }
    out_.Flush();
    return true;
}

Result DecodeFile(const std::string& path, const Options& options, Writer& out,
                  const WarnFn& warn) {
    CaptureInput in;
    std::string why = in.Open(path);
    if (!why.empty()) {
        return {Status::InputError, path + ": " + why};
    }
    std::uint64_t remaining = in.Size();
    std::uint64_t at = 0;
    std::array<std::uint8_t, CaptureHeaderLength> header{};
    if (options.resume != nullptr) {
        at = CaptureHeaderLength + options.resume->lastPairEnd;
        if (remaining < CaptureHeaderLength + options.resume->bodyBytes) {
            return {Status::Changed, path + ": " + ChangedReason};
        }
        if (!in.ReadAll(0, header.data(), header.size(), why)) {
            return {Status::InputError, path + ": " + why};
        }
        remaining -= at;
    }
    Progress* progress = options.progress;
    if (progress != nullptr) {
        progress->total = remaining;
    }
    if (options.sink != nullptr && options.resume == nullptr) {
        options.sink->Expect(remaining - std::min<std::uint64_t>(remaining, CaptureHeaderLength));
    }

    const std::size_t blockSize = std::max<std::size_t>(options.blockSize, 1);
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[blockSize]);
    OutputBuffer buffer(out);
    CaptureDecoder decoder(options, buffer);
    if (options.resume != nullptr) {
        decoder.Resume(*options.resume, header);
    }
    while (remaining > 0) {
        const long long got =
            in.Read(at, block.get(), std::min<std::uint64_t>(blockSize, remaining), why);
        if (got < 0) {
            buffer.Flush(); // keep the rows decoded before the failure
            if (buffer.Failed()) {
                return {Status::OutputError, buffer.Error()};
            }
            return {Status::InputError, path + ": " + why};
        }
        if (got == 0) {
            // Cut short since it was opened: the rows so far are kept, but said to be partial.
            buffer.Flush();
            if (buffer.Failed()) {
                return {Status::OutputError, buffer.Error()};
            }
            return {Status::Changed, path + ": " + ChangedReason};
        }
        remaining -= static_cast<std::uint64_t>(got);
        at += static_cast<std::uint64_t>(got);
        const bool headerBefore = decoder.HeaderComplete();
        decoder.Feed(block.get(), static_cast<std::size_t>(got));
        if (!headerBefore && decoder.HeaderComplete()) {
            const std::vector<std::string> problems = HeaderProblems(decoder.summary().header);
            if (!problems.empty() && options.refuseOddHeader) {
                return {Status::InputError, path + ": not a capture file: " + problems.front()};
            }
            if (warn) {
                for (const std::string& w : HeaderWarnings(decoder.summary().header)) {
                    warn(path + ": " + w);
                }
            }
        }
        if (buffer.Failed()) {
            return {Status::OutputError, buffer.Error()};
        }
        if (progress != nullptr) {
            progress->done += static_cast<std::uint64_t>(got);
            if (progress->cancel) {
                return {Status::Cancelled, path + ": cancelled"};
            }
        }
    }
    return Finished(decoder, buffer, path, options);
}

Result DecodeBytes(const std::uint8_t* data, std::size_t n, const Options& options, Writer& out,
                   const std::string& name) {
    OutputBuffer buffer(out);
    CaptureDecoder decoder(options, buffer);
    const std::size_t blockSize = std::max<std::size_t>(options.blockSize, 1);
    for (std::size_t at = 0; at < n && !buffer.Failed(); at += blockSize) {
        decoder.Feed(data + at, std::min(blockSize, n - at));
    }
    if (buffer.Failed()) {
        return {Status::OutputError, buffer.Error()};
    }
    return Finished(decoder, buffer, name, options);
}

} // namespace vemor::decode
