#include "Cli.h"

#include "vemor/capture/Decode.h"
#include "vemor/capture/Journal.h"
#include "vemor/capture/JournalRecord.h"

#include <cerrno>

#include <optional>
#include <string>
#include <string_view>

namespace vemor::decode {

namespace {

constexpr std::string_view Program = "vemor-decode";

constexpr std::string_view Usage =
    "usage: vemor-decode [--payload] FILE\n"
    "       vemor-decode --info FILE\n"
    "       vemor-decode --help\n"
    "\n"
    "Decodes a raw capture file: one CSV line per accepted frame on standard output,\n"
    "  frame,offset,rpm,battery_v,coolant_c,intake_c,pulse_width,map,o2,tps,byte14,time_s\n"
    "where offset counts body bytes (after the 16-byte header) up to the end of the frame\n"
    "and time_s is that offset divided by 6250, the line's bytes per second: the seconds\n"
    "from the start, exact while the line was saturated. time_s is always the last column.\n"
    "\n"
    "With the capture's journal beside it (FILE.txt), two columns come before time_s:\n"
    "local_time, the date and time the frame's last byte arrived, found between the\n"
    "journal's events (2026-12-09 17:09:41.123), and mark, the marks made since the frame\n"
    "before (3, or 3: its note; several joined by \"; \"; quoted as CSV quotes). A journal\n"
    "that cannot be read is warned about on standard error, and FILE decoded without it.\n"
    "\n"
    "  --payload  add the 31 payload bytes as columns p0 ... p30 (before time_s and the\n"
    "             journal's columns)\n"
    "  --info     print start, stop, body_bytes, frames, dropped (frames of the wrong\n"
    "             length), dropped_bytes (their bytes), partial_start_bytes and\n"
    "             partial_end_bytes (the frames the capture began and ended in) instead\n"
    "             of the lines; with a journal then journal (its name), journal_duration\n"
    "             (H:MM:SS.hh), marks, line_lost and port_closed (N spells), and one line\n"
    "             per event: event: OFFSET DATE TIME NAME[ DETAIL], escaped as the journal\n"
    "  --help     print this text\n"
    "\n"
    "Exit status: 0 done (a header that is not a capture's is warned about on standard\n"
    "error), 1 unreadable, too short, not a regular file, shorter at the end than when it\n"
    "was opened (it changed while it was read), or failed output, 2 wrong usage.\n";

void Say(Writer& w, std::string_view text) {
    // Nothing better can be done when the error stream itself fails.
    (void)w.Write(text.data(), text.size());
}

int UsageError(Writer& err, const std::string& what) {
    Say(err, std::string(Program) + ": " + what + "\n" + std::string(Usage));
    return ExitUsage;
}

// A reader that stops reading (vemor-decode FILE | head) is no failure worth a word.
int OutputFailed(Writer& out, Writer& err, const std::string& message) {
    if (out.ErrorNumber() == EPIPE) {
        return ExitBrokenPipe;
    }
    Say(err, std::string(Program) + ": " + message + "\n");
    return ExitFailure;
}

} // namespace

int RunCli(std::span<const char* const> args, Writer& out, Writer& err) {
    Options options;
    const char* file = nullptr;
    bool optionsEnded = false;
    for (const char* arg : args) {
        const std::string_view a(arg);
        if (!optionsEnded && a.size() > 1 && a.front() == '-') {
            if (a == "--") {
                optionsEnded = true;
            } else if (a == "--help" || a == "-h") {
                if (!out.Write(Usage.data(), Usage.size())) {
                    return OutputFailed(out, err, out.Error());
                }
                return ExitOk;
            } else if (a == "--payload") {
                options.payload = true;
            } else if (a == "--info") {
                options.info = true;
            } else {
                return UsageError(err, "unknown option '" + std::string(a) + "'");
            }
        } else if (file == nullptr) {
            file = arg;
        } else {
            return UsageError(err, "one capture file at a time");
        }
    }
    if (file == nullptr) {
        return UsageError(err, "no capture file given");
    }
    if (options.info && options.payload) {
        return UsageError(err, "--info prints no rows, so --payload cannot go with it");
    }

    // A journal that cannot be read leaves the capture as it is: decoded without its columns.
    std::string journalError;
    const std::optional<JournalRecord> journal = ReadJournalOf(file, &journalError);
    if (!journalError.empty()) {
        Say(err, std::string(Program) + ": " + journalError + "; decoding without it\n");
    }
    if (journal) {
        options.journal = &*journal;
        options.journalName = JournalName(file);
    }

    const Result result = DecodeFile(file, options, out, [&err](const std::string& line) {
        Say(err, std::string(Program) + ": " + line + "\n");
    });
    if (result.status == Status::OutputError) {
        return OutputFailed(out, err, result.message);
    }
    if (result.status != Status::Ok) {
        Say(err, std::string(Program) + ": " + result.message + "\n");
        return ExitFailure;
    }
    return ExitOk;
}

} // namespace vemor::decode
