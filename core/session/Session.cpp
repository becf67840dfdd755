#include "vemor/Session.h"

#include "vemor/Messages.h"
#include "vemor/Packet.h"
#include "vemor/SystemText.h"
#include "vemor/capture/JournalRecord.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <vector>

vemor::ThreadIO* SerialThread = nullptr;

namespace vemor {

namespace {

std::string CurrentTimeText() {
    return TimeText(LocalTimeOfDay(), TimeFormatFromLocale());
}

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void Session::Notifier::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    session_.window_.Post(message, wParam, lParam);
}

void Session::Notifier::PostAll(const PostedMessage* posts, std::size_t count) {
    session_.window_.PostAll(posts, count);
}

void Session::Notifier::ShowBox(const std::string& text, const std::string& caption) {
    session_.window_.ShowBox(text, caption);
}

void Session::Notifier::Stopped(ThreadIO& link) {
    // Called from the link's destructor: nothing may escape it.
    try {
        session_.DrainAll(link);
    } catch (const std::exception& e) {
        session_.window_.ShowError(e.what());
    } catch (...) {
        session_.window_.ShowError("Unknown error");
    }
}

namespace {

// The sessions of the process, for an end through exit(). GUI thread.
std::vector<Session*>& Sessions() {
    static std::vector<Session*> sessions;
    return sessions;
}

void FinishAtExit() {
    for (Session* session : Sessions()) {
        session->EndAtExit();
    }
}

} // namespace

Session::Session(SessionWindow& window, Clock clock, LinkMaker makeLink)
    : window_(window), clock_(clock ? std::move(clock) : Clock(&SteadyMs)),
      makeLink_(std::move(makeLink)) {
    Sessions().push_back(this);
}

Session::~Session() {
    std::erase(Sessions(), this);
}

void Session::EndAtExit() {
    atExit_ = true;
    Shutdown();
}

std::int64_t Session::Now() const {
    return clock_();
}

CaptureNamer& Session::CaptureNames() {
    // Process-wide, so that the captures of one run get rising numbers. GUI thread only.
    static CaptureNamer namer;
    return namer;
}

std::string Session::PortName(std::intptr_t portNumber) const {
    if (SerialThread != nullptr) {
        return SerialThread->PortName();
    }
    return "COM" + std::to_string(portNumber); // a notification that outlived its port
}

void Session::OpenOrClose() {
    if (window_.Button1Caption() == "Open") {
        Open();
    } else {
        Close();
    }
}

void Session::Open() {
    const PortChoice port = window_.ChosenPort();
    SerialThread = makeLink_ ? makeLink_(port, &notify_).release()
                             : new ThreadIO(true, port.Number, BaudRate, &notify_, port.Path);
    if (SerialThread == nullptr) {
        return;
    }
    if (SerialThread->GetPortHandle() == INVALID_HANDLE_VALUE) {
        const OpenFailure failure = SerialThread->OpenError();
        const std::string name = PortName(port.Number);
        delete SerialThread;
        SerialThread = nullptr;
        // The one failure without a box still deserves a word to the operator.
        if (failure.Step == OpenStep::GetSettings) {
            ShowStatus(name + ": the line settings cannot be read (" + SystemText(failure.Error) +
                       "); it may not be a serial port.");
        }
        return;
    }
    JournalEvent(journal::PortOpened, SerialThread->PortName());
    window_.EnableCommand(Command::SaveFile, true);
    window_.EnableCommand(Command::Test, true);
    window_.SetButton1Caption("Close");
    ShowStatus("");
    health_.Reset(Now());
    lastFrameMs_ = Now();
    joining_ = true; // the line is joined wherever it is in a frame
    UpdateTicking();
}

void Session::Close() {
    window_.SetButton1Caption("Open");
    EndLink();
    window_.SetStale();
    window_.EnableCommand(Command::SaveFile, false);
    window_.EnableCommand(Command::Test, false);
    // What the closed line said no longer applies, nor does what it posted just before.
    window_.DiscardLineMessages();
    ShowStatus("");
}

// Stops the reader; what it had queued still reaches the capture and the display.
void Session::EndLink() {
    if (SerialThread == nullptr) {
        return;
    }
    ThreadIO* link = SerialThread;
    const std::string name = link->PortName();
    delete link; // what it queued is drained into the capture first
    SerialThread = nullptr;
    JournalEvent(journal::PortClosed, name);
    UpdateTicking();
    RefreshHealthField();
}

void Session::SaveFile() {
    const std::string timeText = CurrentTimeText();
    ResetAssembler();
    joining_ = true;
    std::string unfinished;
    // The hold on sleep carries over from one capture to the next.
    savingFile_ = true;
    if (CaptureStream) {
        unfinished = FinishCapture(timeText);
    }
    CaptureStream.reset();
    captureWarning_.clear();
    RefreshCaptureField();
    // The old capture's failure is shown once the new one runs, so that nothing received
    // while the box is open misses it.
    try {
        StartCapture(timeText);
    } catch (...) {
        savingFile_ = false;
        UpdateSleepHold();
        ShowUnfinished(unfinished);
        throw;
    }
    savingFile_ = false;
    ShowUnfinished(unfinished);
}

void Session::SendTestPacket() {
    std::array<std::uint8_t, TestPacketLength> packet{};
    FillTestPacket(packet);
    SendPacket(packet.data());
}

void Session::StopCapture() {
    if (CaptureStream) {
        ShowUnfinished(FinishCapture(CurrentTimeText()));
    }
}

void Session::AddMark(const std::string& note) {
    AddMark(PlaceMark(), note);
}

Session::MarkPlace Session::PlaceMark() const {
    return {CaptureOffset(),    window_.Screen().LastX(0),
            LocalWallTime(),    CaptureStream ? captures_ : 0,
            recent_.Received(), Now()};
}

void Session::AddMark(const MarkPlace& place, const std::string& note) {
    const std::string number = std::to_string(++marks_);
    window_.Screen().AddMark(place.X);
    const std::string detail = note.empty() ? number : number + ": " + note;
    recent_.Note(place.Received, place.Ms, place.At, journal::Mark, detail);
    std::string text =
        "Mark " + number + " at " +
        TimeText({place.At.Hour, place.At.Minute, place.At.Second}, TimeFormatFromLocale());
    std::string unrecorded;
    if (place.Capture == 0) {
        unrecorded = "no capture runs";
    } else if (!CaptureStream || place.Capture != captures_) {
        unrecorded = "its capture ended before the note was given";
    } else if (!journal_) {
        unrecorded = "the capture has no journal: " + journalWarning_;
    } else if (!JournalEventAt(place.Offset, place.At, journal::Mark, detail)) {
        unrecorded = journalWarning_;
    }
    if (!unrecorded.empty()) {
        text += ", not recorded: " + unrecorded;
    }
    ShowStatus(text);
}

void Session::Shutdown() {
    if (SerialThread != nullptr) {
        SerialThread->Terminate();
        EndLink();
    }
    if (CaptureStream) {
        ShowUnfinished(FinishCapture(CurrentTimeText()));
    }
}

void Session::StartCapture(const std::string& timeText) {
    CaptureStream = CreateCapture(CaptureNames(), timeText);
    // A toolkit may end the process with exit() (Qt does when the display goes away); the
    // capture is then finished as at a window close. Registered once the capture library's
    // statics exist, so that they outlive it.
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(FinishAtExit); });
    journalWarning_.clear();
    lostJournaled_ = 0;
    ++captures_;
    marks_ = 0;
    try {
        journal_ = std::make_unique<Journal>(CaptureStream->Name());
    } catch (const std::exception& e) {
        journalWarning_ = e.what(); // the capture goes on without
    }
    lastTimeMarkMs_ = Now();
    JournalEvent(journal::Start, CaptureStream->Name());
    if (SerialThread != nullptr) {
        JournalEvent(journal::PortOpened, SerialThread->PortName());
    }
    captureStartMs_ = Now();
    window_.EnableCommand(Command::StopCapture, true);
    UpdateTicking();
    UpdateSleepHold();
    RefreshCaptureField();
}

std::string Session::FinishCapture(const std::string& timeText) {
    std::string failure;
    const bool finished = CaptureStream->Finish(timeText);
    NoteBytesGivenUp();
    JournalEvent(journal::Stop);
    journal_.reset();
    if (CaptureStream->LostBytes() > 0) {
        // Stays in the field until the next Save File, and is said once now.
        captureWarning_ = LostText(*CaptureStream);
        return FinishedWith(captureWarning_);
    }
    if (!finished) {
        failure = CannotFinishFileMessage(CaptureStream->FullPath(),
                                          SystemText(CaptureStream->LastError()));
    } else if (CaptureStream->Moved()) {
        failure = CaptureStream->FullPath() +
                  " no longer leads to the capture just finished: it was moved, renamed or "
                  "replaced while it was recorded, and the capture is wherever the file went";
    } else {
        const auto seconds = static_cast<std::uint64_t>((Now() - captureStartMs_) / 1000);
        ShowStatus(SavedText(CaptureStream->FullPath(), CaptureStream->BodyBytes(), seconds,
                             decimalSeparator_),
                   SavedShownMs);
    }
    return FinishedWith(failure);
}

std::string Session::FinishedWith(const std::string& failure) {
    CaptureStream.reset();
    window_.EnableCommand(Command::StopCapture, false);
    UpdateTicking();
    UpdateSleepHold();
    RefreshCaptureField();
    return failure;
}

std::string Session::LostText(const CaptureFile& file) const {
    return file.Name() + ": " + std::to_string(file.LostBytes()) +
           " received bytes could not be written (" + SystemText(file.LastError()) +
           "), from body offset " + std::to_string(file.LostFrom()) +
           " on; the capture is incomplete. Free disk space, then Save File starts a new "
           "capture.";
}

void Session::ShowUnfinished(const std::string& failure) {
    if (failure.empty()) {
        return;
    }
    if (atExit_) {
        // No window can show it any more.
        std::fprintf(stderr, "vemor: %s\n", failure.c_str());
    } else {
        window_.ShowError(failure);
    }
}

void Session::OnRxData(std::uintptr_t wParam) {
    if (wParam == 0 || SerialThread == nullptr) {
        return;
    }
    Drain(*SerialThread);
}

std::uint32_t Session::Drain(ThreadIO& link) {
    std::uint8_t buffer[DrainSize];
    const std::uint32_t n = link.ReadQueue(buffer, DrainSize);
    recent_.Add(buffer, n, Now());
    if (CaptureStream && n > 0) {
        JournalSilence();
        if (!CaptureStream->Append(buffer, n)) {
            ReportCaptureWriteFailure();
        }
        JournalArrival();
    }
    if (n > 0) {
        lastKnownMs_ = Now();
    }
    FeedBytes(buffer, n);
    return n;
}

void Session::DrainAll(ThreadIO& link) {
    while (Drain(link) > 0) {
    }
}

void Session::FeedBytes(const std::uint8_t* bytes, std::size_t count) {
    std::size_t frames = 0;
    std::size_t joined = 0;
    const std::size_t rejected = Assembler.AssembleBytes(
        bytes, count,
        [&](const std::uint8_t* frame) {
            joining_ = false;
            ++frames;
            ShowFrame(frame);
        },
        [&](std::size_t) {
            // The rest of a frame that began before the line was joined, or before Save
            // File started the assembler afresh: not a fault of the line.
            joined += joining_ ? 1 : 0;
            joining_ = false;
        });
    health_.Add(count, frames, rejected - joined);
    if (frames > 0) {
        lastFrameMs_ = Now();
    }
}

void Session::AssembleByte(std::uint8_t b) {
    Assembler.AssembleByte(b, [this](const std::uint8_t* frame) { ShowFrame(frame); });
}

void Session::ShowFrame(const std::uint8_t* frame) {
    vemor::ShowFrame(frame, window_.Screen(), decimalSeparator_);
}

void Session::SendPacket(std::uint8_t* packet) {
    if (!CompletePacket(packet)) {
        return;
    }
    if (SerialThread == nullptr || SerialThread->Suspended()) {
        return;
    }
    std::uint32_t written = 0;
    SerialThread->WritePort(packet, packet[1], &written);
}

bool Session::OnLinkMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    switch (message) {
    case WM_READERFAULT:
        if (SerialThread != nullptr) {
            const auto dropped = static_cast<std::uint64_t>(lParam);
            ShowStatus(SerialThread->PortName() + ": the reader ran out of memory (" +
                       std::to_string(wParam) + " times so far) and goes on; " +
                       (dropped == 0 ? std::string("no received byte was lost")
                                     : std::to_string(dropped) + " received bytes were lost") +
                       ".");
            // Bytes whose own notification failed are waiting.
            Drain(*SerialThread);
        }
        return true;
    case WM_LINELOST:
        // What was read before the loss comes before it in the capture and its journal.
        if (SerialThread != nullptr) {
            DrainAll(*SerialThread);
        }
        JournalEvent(journal::LineLost, SystemText(static_cast<int>(wParam)));
        window_.SetLineLost(true);
        ShowStatus(PortName(lParam) + ": the line is lost (" +
                   SystemText(static_cast<int>(wParam)) +
                   "). Waiting for the device to return; Close stops waiting.");
        return true;
    case WM_LINEBACK:
        JournalEvent(journal::LineBack);
        joining_ = true;
        window_.SetLineLost(false);
        ShowStatus(PortName(lParam) + ": the line is back; reading goes on.");
        return true;
    default:
        return false;
    }
}

// Where the next received byte goes in the capture's body.
std::uint64_t Session::CaptureOffset() const {
    return CaptureStream ? CaptureStream->BodyBytes() + CaptureStream->WaitingBytes() : 0;
}

void Session::JournalEvent(const char* event, const std::string& detail) {
    lastKnownMs_ = Now();
    const WallTime at = LocalWallTime();
    recent_.Note(recent_.Received(), Now(), at, event, detail);
    JournalEventAt(CaptureOffset(), at, event, detail);
}

// False when there is no journal, or it failed now.
bool Session::JournalEventAt(std::uint64_t offset, const WallTime& at, const char* event,
                             const std::string& detail) {
    if (!journal_) {
        return false;
    }
    if (journal_->Write(offset, at, event, detail)) {
        return true;
    }
    // The capture matters more than its journal: it goes on without.
    journalWarning_ =
        journal_->Name() + " cannot be written (" + SystemText(journal_->LastError()) + ")";
    journal_.reset();
    RefreshCaptureField();
    return false;
}

void Session::JournalArrival() {
    if (!journal_ || Now() - lastTimeMarkMs_ < TimeMarkMs) {
        return;
    }
    lastTimeMarkMs_ = Now();
    NoteBytesGivenUp();
    JournalEvent(journal::Time);
}

void Session::JournalSilence() {
    const std::int64_t now = Now();
    const std::int64_t since = std::max(lastKnownMs_, captureStartMs_);
    if (!journal_ || now - since < SilenceMs) {
        return;
    }
    const std::int64_t wall = WallMs(LocalWallTime());
    JournalEventAt(CaptureOffset(), WallTimeAt(wall - (now - since)), journal::Time, {});
    JournalEventAt(CaptureOffset(), WallTimeAt(wall), journal::Time, {});
    lastTimeMarkMs_ = now;
}

void Session::NoteBytesGivenUp() {
    if (CaptureStream->LostBytes() > lostJournaled_) {
        lostJournaled_ = CaptureStream->LostBytes();
        JournalEvent(journal::BytesGivenUp, std::to_string(lostJournaled_) +
                                                " bytes so far, from body offset " +
                                                std::to_string(CaptureStream->LostFrom()));
    }
}

void Session::ReportCaptureWriteFailure() {
    // What waits is told with the capture's progress; only bytes given up stand for good.
    if (captureWarning_.empty() && CaptureStream->LostBytes() > 0) {
        captureWarning_ = LostText(*CaptureStream);
    }
    RefreshCaptureField();
}

void Session::ShowStatus(const std::string& text, int forMs) {
    window_.ShowStatus(text);
    statusUntilMs_ = forMs > 0 ? Now() + forMs : 0;
    UpdateTicking();
}

void Session::TickAtPaint() {
    if (!ticking_ || Now() - lastTickMs_ < TickMs - TickEarlyMs) {
        return;
    }
    Tick();
    if (ticking_) {
        window_.SetTicking(true);
    }
}

void Session::Tick() {
    lastTickMs_ = Now();
    if (statusUntilMs_ != 0 && Now() >= statusUntilMs_) {
        ShowStatus(""); // a passing word, and no other has come since
    }
    // A disk that takes bytes again gets what waits, also while the line is quiet.
    if (CaptureStream && CaptureStream->WaitingBytes() > 0 && !CaptureStream->Retry()) {
        ReportCaptureWriteFailure();
    }
    if (SerialThread != nullptr && Now() - lastFrameMs_ >= StaleMs) {
        window_.SetStale();
    }
    RefreshCaptureField();
    RefreshHealthField();
}

void Session::RefreshCaptureField() {
    if (!captureWarning_.empty()) {
        window_.ShowCaptureField(captureWarning_);
    } else if (CaptureStream) {
        const auto seconds = static_cast<std::uint64_t>((Now() - captureStartMs_) / 1000);
        std::string text = CapturingText(CaptureStream->Name(), CaptureStream->BodyBytes(), seconds,
                                         decimalSeparator_);
        if (CaptureStream->WaitingBytes() > 0) {
            text += "; " + ByteCountText(CaptureStream->WaitingBytes(), decimalSeparator_) +
                    " waiting for the disk (" + SystemText(CaptureStream->LastError()) + ")";
        }
        if (!journalWarning_.empty()) {
            text += "; no journal: " + journalWarning_;
        }
        if (window_.SleepHeldOff()) {
            text += "; sleep held off";
        }
        window_.ShowCaptureField(text);
        window_.ShowCaptureTip(CaptureStream->FullPath());
    } else {
        window_.ShowCaptureField("");
        window_.ShowCaptureTip("");
    }
}

void Session::RefreshHealthField() {
    if (SerialThread == nullptr) {
        window_.ShowHealthField("");
        return;
    }
    LineErrors errors;
    const bool counted = SerialThread->GetLineErrors(errors);
    window_.ShowHealthField(
        health_.Tick(Now(), counted ? &errors : nullptr, BaudRate, SerialThread->ActualBaudRate()));
}

void Session::UpdateSleepHold() {
    const bool on = CaptureStream != nullptr;
    if (on != holdingSleep_ && !(savingFile_ && !on)) {
        holdingSleep_ = on;
        window_.HoldOffSleep(on);
    }
}

void Session::UpdateTicking() {
    const bool on = SerialThread != nullptr || CaptureStream != nullptr || statusUntilMs_ != 0;
    if (on != ticking_) {
        ticking_ = on;
        window_.SetTicking(on);
    }
}

} // namespace vemor
