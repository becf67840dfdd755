#include "vemor/capture/Index.h"

#include "vemor/Assembler.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <random>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace vemor::decode {

namespace {

// Which kept column feeds each chart trace, found from the core's chart values so that the
// two cannot disagree.
const std::array<int, SeriesCount>& TraceColumns() {
    static const std::array<int, SeriesCount> columns = [] {
        std::array<int, SeriesCount> c{};
        c.fill(-1);
        const std::array<std::uint8_t, PayloadLength> zero{};
        const auto base = ChartValues(zero.data());
        for (std::size_t k = 0; k < KeptBytes.size(); ++k) {
            auto probe = zero;
            probe[static_cast<std::size_t>(KeptBytes[k])] = 1;
            const auto values = ChartValues(probe.data());
            for (int t = 0; t < SeriesCount; ++t) {
                if (values[static_cast<std::size_t>(t)] != base[static_cast<std::size_t>(t)]) {
                    c[static_cast<std::size_t>(t)] = static_cast<int>(k);
                }
            }
        }
        if (std::find(c.begin(), c.end(), -1) != c.end()) {
            throw std::logic_error("a chart trace follows a byte the index does not keep");
        }
        return c;
    }();
    return columns;
}

Extent EmptyExtent() {
    Extent e;
    e.lo.fill(0xFF);
    e.hi.fill(0);
    return e;
}

// Collects the decoder's frames into an index. Owner: the loading thread.
class IndexSink final : public FrameSink {
public:
    explicit IndexSink(CaptureIndex& index) : index_(index) {}
    void Expect(std::uint64_t bodyBytes) override {
        // A frame takes at least 33 bytes of the line.
        index_.Reserve(bodyBytes / FrameLength + 1);
    }
    void Frame(const std::uint8_t* frame, std::uint64_t end) override { index_.Add(frame, end); }
    void Rejected(std::uint64_t) override { index_.Reject(); }

private:
    CaptureIndex& index_;
};

std::string Reason(int error) {
    return std::generic_category().message(error);
}

class NullWriter final : public Writer {
public:
    bool Write(const char*, std::size_t) override { return true; }
    std::string Error() const override { return {}; }
};

} // namespace

CaptureIndex::CaptureIndex() {
    Reserve(0);
}

void CaptureIndex::Reserve(std::uint64_t frames) {
    frames = std::max(frames, count_);
    for (auto& column : columns_) {
        // Not value-initialised: pages that no frame reaches stay untouched.
        std::unique_ptr<std::uint8_t[]> grown(new std::uint8_t[frames]);
        if (count_ > 0) {
            std::memcpy(grown.get(), column.get(), count_);
        }
        column = std::move(grown);
    }
    capacity_ = frames;
    checkpoints_.reserve(frames / CheckpointFrames + 1);
    const auto& traces = TraceColumns();
    for (std::size_t t = 0; t < traces_.size(); ++t) {
        traces_[t] = columns_[static_cast<std::size_t>(traces[t])].get();
    }
}

void CaptureIndex::Seal(const Summary& summary) {
    summary_ = summary;
    rejectedAtEnd_ = pendingReject_;
    // A whole bucket never changes as frames are added, so a capture that grew has only its
    // new buckets summarised.
    const std::size_t buckets = count_ / BucketFrames;
    if (buckets == 0) {
        return;
    }
    if (levels_.empty()) {
        levels_.emplace_back();
    }
    std::vector<Extent>& level = levels_[0];
    const std::size_t from = level.size();
    level.resize(buckets);
    for (int t = 0; t < SeriesCount; ++t) {
        const std::uint8_t* column = traces_[static_cast<std::size_t>(t)];
        for (std::size_t b = from; b < buckets; ++b) {
            const std::uint8_t* v = column + b * BucketFrames;
            std::uint8_t lo = 0xFF, hi = 0;
            for (std::uint64_t f = 0; f < BucketFrames; ++f) {
                lo = std::min(lo, v[f]);
                hi = std::max(hi, v[f]);
            }
            level[b].lo[static_cast<std::size_t>(t)] = lo;
            level[b].hi[static_cast<std::size_t>(t)] = hi;
        }
    }
    const std::uint8_t* meta = columns_[MetaColumn].get();
    for (std::size_t b = from; b < buckets; ++b) {
        std::uint8_t any = 0;
        for (std::uint64_t f = 0; f < BucketFrames; ++f) {
            any |= meta[b * BucketFrames + f];
        }
        level[b].rejected = (any & RejectBit) != 0;
    }
    for (std::size_t l = 1; levels_[l - 1].size() >= 2; ++l) {
        if (levels_.size() == l) {
            levels_.emplace_back();
        }
        const std::vector<Extent>& finer = levels_[l - 1];
        std::vector<Extent>& coarser = levels_[l];
        const std::size_t old = coarser.size();
        coarser.resize(finer.size() / 2);
        for (std::size_t b = old; b < coarser.size(); ++b) {
            coarser[b] = finer[2 * b];
            coarser[b].Widen(finer[2 * b + 1]);
        }
    }
}

std::uint64_t CaptureIndex::EndFrom(std::uint64_t frame, std::uint64_t previousEnd) const {
    const std::uint8_t gap = columns_[MetaColumn][frame] & ~RejectBit;
    if (gap != Overflow) {
        return previousEnd + FrameLength + gap;
    }
    return std::lower_bound(overflow_.begin(), overflow_.end(), frame,
                            [](const auto& entry, std::uint64_t f) { return entry.first < f; })
        ->second;
}

std::uint64_t CaptureIndex::End(std::uint64_t frame) const {
    const std::uint64_t c = frame / CheckpointFrames;
    std::uint64_t end = checkpoints_[c];
    for (std::uint64_t f = c * CheckpointFrames + 1; f <= frame; ++f) {
        end = EndFrom(f, end);
    }
    return end;
}

std::uint64_t CaptureIndex::FirstEndingAtOrAfter(std::uint64_t offset) const {
    // The last checkpoint at or before the offset; the answer lies within its 64 frames.
    const auto after = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), offset);
    if (after == checkpoints_.begin()) {
        return 0;
    }
    std::uint64_t frame =
        static_cast<std::uint64_t>(after - checkpoints_.begin() - 1) * CheckpointFrames;
    std::uint64_t end = checkpoints_[frame / CheckpointFrames];
    while (end < offset && ++frame < Frames()) {
        end = EndFrom(frame, end);
    }
    return frame;
}

std::array<std::uint8_t, PayloadLength> CaptureIndex::Payload(std::uint64_t frame) const {
    std::array<std::uint8_t, PayloadLength> p{};
    for (std::size_t k = 0; k < KeptBytes.size(); ++k) {
        p[static_cast<std::size_t>(KeptBytes[k])] = columns_[k][frame];
    }
    return p;
}

std::uint8_t CaptureIndex::TraceByte(int trace, std::uint64_t frame) const {
    return traces_[static_cast<std::size_t>(trace)][frame];
}

bool CaptureIndex::RejectedBefore(std::uint64_t frame) const {
    return frame < Frames() ? (columns_[MetaColumn][frame] & RejectBit) != 0 : rejectedAtEnd_;
}

void CaptureIndex::Merge(Extent& e, std::uint64_t frame) const {
    for (std::size_t t = 0; t < traces_.size(); ++t) {
        const std::uint8_t v = traces_[t][frame];
        e.lo[t] = std::min(e.lo[t], v);
        e.hi[t] = std::max(e.hi[t], v);
    }
    e.rejected = e.rejected || (columns_[MetaColumn][frame] & RejectBit) != 0;
}

Extent CaptureIndex::Range(std::uint64_t first, std::uint64_t last) const {
    Extent e = EmptyExtent();
    last = std::min(last, Frames());
    // Single frames up to the bucket edges, then whole buckets, at most two a level.
    while (first < last && first % BucketFrames != 0) {
        Merge(e, first++);
    }
    while (last > first && last % BucketFrames != 0) {
        Merge(e, --last);
    }
    std::uint64_t b = first / BucketFrames;
    std::uint64_t end = last / BucketFrames;
    for (std::size_t l = 0; b < end; ++l) {
        const auto& level = levels_[l];
        if (b & 1) {
            e.Widen(level[b++]);
        }
        if (end & 1) {
            e.Widen(level[--end]);
        }
        b >>= 1;
        end >>= 1;
    }
    return e;
}

std::uint64_t CaptureIndex::Piece(std::uint64_t frame, std::uint64_t last, std::uint64_t most,
                                  Extent& e) const {
    std::size_t level = 0;
    std::uint64_t length = BucketFrames;
    if (frame % BucketFrames != 0 || frame + length > last || length > most) {
        e = EmptyExtent();
        Merge(e, frame);
        return 1;
    }
    // Up while the frame stays aligned and the bucket fits.
    while (level + 1 < levels_.size() && frame % (2 * length) == 0 && frame + 2 * length <= last &&
           2 * length <= most) {
        ++level;
        length *= 2;
    }
    e = levels_[level][frame / length];
    return length;
}

std::size_t CaptureIndex::MemoryBytes() const {
    std::size_t n = columns_.size() * count_ + checkpoints_.capacity() * sizeof(std::uint64_t) +
                    overflow_.capacity() * sizeof(overflow_[0]);
    for (const auto& l : levels_) {
        n += l.capacity() * sizeof(Extent);
    }
    return n;
}

Loaded LoadCapture(const std::string& path, Progress* progress) {
    Loaded loaded;
    loaded.index = std::make_unique<CaptureIndex>();
    IndexSink sink(*loaded.index);
    Summary summary;
    Options options;
    options.sink = &sink;
    options.progress = progress;
    options.summary = &summary;
    options.refuseOddHeader = true;
    NullWriter nothing;
    try {
        loaded.result = DecodeFile(path, options, nothing);
        if (loaded.result.status == Status::Ok) {
            loaded.index->Seal(summary);
            std::string error;
            std::optional<JournalRecord> journal = ReadJournalOf(path, &error);
            loaded.index->SetJournal(std::move(journal), std::move(error));
        }
    } catch (const std::bad_alloc&) {
        loaded.result = {Status::InputError, path + ": too large for the memory available (" +
                                                 std::to_string(loaded.index->Frames()) +
                                                 " frames held)"};
    }
    if (loaded.result.status != Status::Ok) {
        loaded.index.reset();
    }
    return loaded;
}

void CaptureIndex::SetJournal(std::optional<JournalRecord> journal, std::string error) {
    journal_ = std::move(journal);
    journalError_ = std::move(error);
}

Result GrowCapture(const std::string& path, CaptureIndex& index, bool& grew) {
    const Summary before = index.Counts();
    IndexSink sink(index);
    Summary summary;
    Options options;
    options.sink = &sink;
    options.summary = &summary;
    options.resume = &before;
    NullWriter nothing;
    grew = false;
    Result result = DecodeFile(path, options, nothing);
    if (result.status != Status::Ok) {
        return result;
    }
    grew = summary.bodyBytes != before.bodyBytes || summary.header != before.header;
    index.Seal(summary);
    if (grew) {
        std::string error;
        std::optional<JournalRecord> journal = ReadJournalOf(path, &error);
        index.SetJournal(std::move(journal), std::move(error));
    }
    return result;
}

Readout ReadFrame(const CaptureIndex& index, std::uint64_t frame, char sep) {
    const auto payload = index.Payload(frame);
    Readout r;
    r.labels = LabelTexts(payload.data(), sep);
    r.traces = ChartValues(payload.data());
    r.frame = frame;
    r.end = index.End(frame);
    r.seconds = SecondsText(r.end, sep);
    return r;
}

Result ExportCsv(const CaptureIndex& index, std::uint64_t first, std::uint64_t last, Writer& out,
                 Progress* progress) {
    last = std::min(last, index.Frames());
    first = std::min(first, last);
    OutputBuffer buffer(out);
    std::optional<JournalCells> journal;
    if (index.Journal() != nullptr) {
        journal.emplace(*index.Journal());
        if (first > 0) {
            journal->SkipMarksTo(index.End(first - 1));
        }
    }
    buffer.Append(CsvHeaderLine(false, journal.has_value()));
    if (progress != nullptr) {
        progress->total = last - first;
    }
    constexpr std::uint64_t Step = 1 << 16;
    for (std::uint64_t f = first; f < last && !buffer.Failed(); f += Step) {
        const std::uint64_t stop = std::min(last, f + Step);
        std::uint64_t end = index.End(f);
        for (std::uint64_t k = f; k < stop; ++k) {
            if (k != f) {
                end = index.EndFrom(k, end);
            }
            const auto payload = index.Payload(k);
            AppendRow(buffer, k, end, payload.data(), journal ? &*journal : nullptr);
        }
        if (progress != nullptr) {
            progress->done = stop - first;
            if (progress->cancel) {
                return {Status::Cancelled, "cancelled"};
            }
        }
    }
    buffer.Flush();
    if (buffer.Failed()) {
        return {Status::OutputError, buffer.Error()};
    }
    return {};
}

Result ExportCsvFile(const CaptureIndex& index, std::uint64_t first, std::uint64_t last,
                     const std::string& path, Progress* progress) {
    // Written beside the target and renamed over it at the end, so that a failure or a
    // cancel leaves whatever was there before.
#ifdef _WIN32
    constexpr int CreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_BINARY;
#else
    constexpr int CreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
#endif
    std::random_device random;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = path + "." + std::to_string(random() % 1000000) + ".part";
        fd = ::open(temp.c_str(), CreateFlags, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        return {Status::OutputError, "cannot create " + temp + ": " + Reason(errno)};
    }
    FdWriter writer(fd, path);
    Result r = ExportCsv(index, first, last, writer, progress);
    // Closed before anything else: Windows neither renames nor removes an open file.
    if (::close(fd) != 0 && r.status == Status::Ok) {
        r = {Status::OutputError, "cannot write to " + path + ": " + Reason(errno)};
    }
    std::error_code error;
    if (r.status == Status::Ok) {
        // Replaces an existing file on every system, unlike std::rename.
        std::filesystem::rename(temp, path, error);
        if (error) {
            r = {Status::OutputError, "cannot write " + path + ": " + error.message()};
        }
    }
    if (r.status != Status::Ok) {
        std::filesystem::remove(temp, error);
    }
    return r;
}

} // namespace vemor::decode
