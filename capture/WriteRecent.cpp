#include "vemor/capture/WriteRecent.h"

#include "vemor/Messages.h"
#include "vemor/capture/CaptureFile.h"
#include "vemor/capture/Journal.h"

#include <memory>
#include <stdexcept>

namespace vemor {

namespace {

std::string TimeOfDayText(const WallTime& at, const TimeFormat& format) {
    return TimeText({at.Hour, at.Minute, at.Second}, format);
}

} // namespace

WrittenRecent WriteRecent(const RecentPiece& piece, CaptureNamer& names, const WallTime& savedAt,
                          const TimeFormat& format) {
    const std::unique_ptr<CaptureFile> file =
        CreateCapture(names, TimeOfDayText(piece.FirstAt, format));
    WrittenRecent written{file->FullPath(), piece.Body.size(), {}};
    // The journal is made before the body so that its name is held beside the capture's.
    std::unique_ptr<Journal> journal;
    try {
        journal = std::make_unique<Journal>(file->Name());
    } catch (const std::exception& e) {
        written.JournalFailure = e.what();
    }
    const auto write = [&](std::uint64_t offset, const WallTime& at, const std::string& event,
                           const std::string& detail) {
        if (journal && !journal->Write(offset, at, event, detail)) {
            written.JournalFailure =
                journal->Name() + " cannot be written (" + SystemText(journal->LastError()) + ")";
            journal.reset();
        }
    };
    write(0, piece.StartAt, journal::Start, file->Name());
    for (const RecentEvent& e : piece.Events) {
        write(e.Offset, e.At, e.Event, e.Detail);
    }
    write(piece.Body.size(), savedAt, journal::Stop, {});
    journal.reset();

    file->Append(piece.Body.data(), piece.Body.size());
    const bool finished = file->Finish(TimeOfDayText(savedAt, format));
    if (file->LostBytes() > 0) {
        throw std::runtime_error(file->FullPath() + ": " + std::to_string(file->LostBytes()) +
                                 " of its " + std::to_string(piece.Body.size()) +
                                 " bytes could not be written (" + SystemText(file->LastError()) +
                                 "); the saved capture is incomplete");
    }
    if (!finished) {
        throw std::runtime_error(
            CannotFinishFileMessage(file->FullPath(), SystemText(file->LastError())));
    }
    return written;
}

} // namespace vemor
