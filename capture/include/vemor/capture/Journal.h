#pragma once
// The journal beside a capture: what happened while it was recorded, one line per event, each
// with the capture's body offset and the local date and time to the millisecond. Plain text
// with tab-separated columns that a person and a spreadsheet read alike:
//
//   offset  date        time          event        detail
//   0       2026-12-09  17:09:05.123  start        TMP3.$$$
//
// Tabs, line ends, backslashes and other control characters in a detail are escaped ("\t",
// "\n", "\r", "\\", "\xHH"), so that each event stays one line of five columns.

#include "vemor/Capture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vemor {

// The events a journal holds, by the names its lines give them.
namespace journal {
inline constexpr const char* Start = "start";
inline constexpr const char* Time = "time"; // a time mark while bytes arrive
inline constexpr const char* PortOpened = "port-opened";
inline constexpr const char* PortClosed = "port-closed";
inline constexpr const char* LineLost = "line-lost";
inline constexpr const char* LineBack = "line-back";
inline constexpr const char* BytesGivenUp = "bytes-given-up";
inline constexpr const char* Mark = "mark";
inline constexpr const char* Stop = "stop";
} // namespace journal

inline constexpr const char* JournalHeading = "offset\tdate\ttime\tevent\tdetail\n";

// "TMP3.$$$.txt": a name that shows whom it belongs to.
std::string JournalName(const std::string& captureName);
// One event's line, with its line end.
std::string JournalLine(std::uint64_t offset, const WallTime& at, std::string_view event,
                        std::string_view detail);
std::string EscapeJournalText(std::string_view text);

class NewTextFile;

// The journal of one capture, written as the events happen and flushed with the capture's
// data. Owner: GUI thread.
class Journal {
public:
    // Makes JournalName(captureName) anew, never opening what stands under the name, and
    // writes the heading. Throws the operator's text when it cannot.
    explicit Journal(const std::string& captureName);
    ~Journal(); // closes; the last flush happens beside the caller
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // False when the line could not be written; the reason's system code in LastError().
    bool Write(std::uint64_t offset, std::string_view event, std::string_view detail = {});
    // The same at a time of the caller's (for tests).
    bool Write(std::uint64_t offset, const WallTime& at, std::string_view event,
               std::string_view detail);
    const std::string& Name() const { return name_; }
    int LastError() const { return lastError_; }

private:
    std::string name_;
    std::unique_ptr<NewTextFile> file_;
    int lastError_ = 0;
};

} // namespace vemor
