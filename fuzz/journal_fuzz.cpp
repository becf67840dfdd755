// The journal reader on arbitrary text: what it keeps is in order, reads back the same when
// written again, and its times and offsets agree with each other.
#include "Check.h"

#include "vemor/capture/Journal.h"
#include "vemor/capture/JournalRecord.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using vemor::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vemor::JournalRecord record(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto& entries = record.Entries();
    std::string again = vemor::JournalHeading;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const vemor::JournalEntry& e = entries[i];
        if (i > 0) {
            Check(e.offset >= entries[i - 1].offset && e.ms >= entries[i - 1].ms);
        }
        again += vemor::JournalLine(e.offset, vemor::WallTimeAt(e.ms), e.event, e.detail);
    }
    const vemor::JournalRecord reread(again);
    Check(reread.PassedOver() == 0 && reread.Entries().size() == entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const vemor::JournalEntry& a = entries[i];
        const vemor::JournalEntry& b = reread.Entries()[i];
        Check(a.offset == b.offset && a.ms == b.ms && a.event == b.event && a.detail == b.detail);
    }
    // Each event's offset and the one after it, never decreasing, as rows in order ask.
    std::size_t next = 0;
    std::uint64_t at = 0;
    std::int64_t last = entries.empty() ? 0 : record.FirstMs();
    for (std::size_t i = 0; i < entries.size() && entries[i].offset < (1ull << 40); ++i) {
        for (const std::uint64_t o : {entries[i].offset, entries[i].offset + 1}) {
            if (o < at) {
                continue;
            }
            at = o;
            const std::int64_t ms = record.MsAt(o, next);
            Check(ms == record.MsAt(o) && ms >= last);
            last = ms;
            const double exact = record.ExactMsAt(o);
            Check(record.OffsetAt(exact) <= o + 1);
        }
    }
    for (const vemor::JournalSpell& s : record.Spells()) {
        Check(s.toMs >= s.fromMs);
    }
    return 0;
}
