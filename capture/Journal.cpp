#include "vemor/capture/Journal.h"

#include "NewTextFile.h"

#include "vemor/Messages.h"
#include "vemor/capture/CaptureFile.h"

#include <cstdio>
#include <stdexcept>

namespace vemor {

std::string JournalName(const std::string& captureName) {
    return captureName + ".txt";
}

std::string EscapeJournalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (u < 0x20 || u == 0x7F) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", u);
                out += hex;
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string JournalLine(std::uint64_t offset, const WallTime& at, std::string_view event,
                        std::string_view detail) {
    char when[40];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d\t%02d:%02d:%02d.%03d", at.Year, at.Month,
                  at.Day, at.Hour, at.Minute, at.Second, at.Millisecond);
    return std::to_string(offset) + "\t" + when + "\t" + EscapeJournalText(event) + "\t" +
           EscapeJournalText(detail) + "\n";
}

Journal::Journal(const std::string& captureName) : name_(JournalName(captureName)) {
    int err = 0;
    file_ = NewTextFile::Create(name_, err);
    if (!file_ || (err = file_->Append(JournalHeading,
                                       std::char_traits<char>::length(JournalHeading))) != 0) {
        throw std::runtime_error(CannotCreateFileMessage(ExpandedPath(name_), SystemText(err)));
    }
}

Journal::~Journal() = default;

bool Journal::Write(std::uint64_t offset, std::string_view event, std::string_view detail) {
    return Write(offset, LocalWallTime(), event, detail);
}

bool Journal::Write(std::uint64_t offset, const WallTime& at, std::string_view event,
                    std::string_view detail) {
    const std::string line = JournalLine(offset, at, event, detail);
    const int err = file_->Append(line.data(), line.size());
    if (err != 0) {
        lastError_ = err;
    }
    return err == 0;
}

} // namespace vemor
