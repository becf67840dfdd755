#pragma once
// What the monitor's window does, whatever toolkit draws it: opening and closing the port,
// the drain of the receive queue into the running capture and the frame assembler, Save File
// and Stop Capture, and what the status bar says. Each window holds one and forwards its
// handlers to it. GUI thread only, like the window that holds it.

#include "Threadio.h"
#include "vemor/Assembler.h"
#include "vemor/Capture.h"
#include "vemor/Display.h"
#include "vemor/LineHealth.h"
#include "vemor/capture/CaptureFile.h"
#include "vemor/capture/Journal.h"
#include "vemor/capture/RecentRecord.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vemor {

// The commands whose enabled state the session sets: "Save File", "Test", "Stop Capture".
enum class Command { SaveFile, Test, StopCapture };

// The port the chooser names: item index + 1 for its COM items, 0 for anything else; a
// device path, which is opened as it is, travels beside it.
struct PortChoice {
    int Number = 0;
    std::string Path;
};

// What the session needs of a window. Texts are 8-bit texts of the system's code page.
// GUI thread only, except Post.
class SessionWindow {
public:
    virtual ~SessionWindow() = default;

    // The labels and the chart.
    virtual Display& Screen() = 0;
    virtual std::string Button1Caption() const = 0;
    virtual void SetButton1Caption(const std::string& caption) = 0;
    virtual void EnableCommand(Command command, bool enabled) = 0;
    virtual PortChoice ChosenPort() const = 0;
    // The status bar's passing message (empty: none), and its two fields, which keep their
    // texts while messages come and go (empty: the field takes no room).
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void ShowCaptureField(const std::string& text) = 0;
    // The capture field's tooltip: the running capture's full path, or empty.
    virtual void ShowCaptureTip(const std::string& path) = 0;
    virtual void ShowHealthField(const std::string& text) = 0;
    // Greys the labels while the line is lost.
    virtual void SetLineLost(bool lost) = 0;
    // The labels show old values until the next accepted frame.
    virtual void SetStale() = 0;
    // The error display: a modal box with the stop icon, the full-stop rule applied.
    virtual void ShowError(const std::string& text) = 0;
    // The link's own box ("GetLastError" for a failed open), modal to the window.
    virtual void ShowBox(const std::string& text, const std::string& caption) = 0;
    // Reader thread: into the window's queue, in order, without blocking.
    virtual void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // Reader thread: several of one kind, handled in this order, in one wake-up where the
    // window can.
    virtual void PostAll(const PostedMessage* posts, std::size_t count) {
        PostEach(*this, posts, count);
    }
    // Drops the line-lost and line-back messages posted but not yet handled.
    virtual void DiscardLineMessages() = 0;
    // While on, the window calls Session::Tick about every TickMs; on again while on, it
    // starts that time afresh.
    virtual void SetTicking(bool on) = 0;
    // Keeps the machine from sleeping on its idle timer while on; the system may grant it
    // later, or never. Whether it is held off now.
    virtual void HoldOffSleep(bool on) = 0;
    virtual bool SleepHeldOff() const = 0;
};

class Session {
public:
    static constexpr int BaudRate = 62500;
    static constexpr std::uint32_t DrainSize = 8192;
    static constexpr int TickMs = 500;
    // How early a paint tick may run the next tick: a little more than the paint interval,
    // so that a streaming line's paints always take it before the timer would.
    static constexpr int TickEarlyMs = 60;
    // A time mark goes into the journal at most this often, while bytes arrive.
    static constexpr int TimeMarkMs = 5000;
    // Bytes after a silence this long get two time marks where they begin: when the last bytes
    // came and when these did, so that the silence stands in the journal as one.
    static constexpr int SilenceMs = 1000;
    // How long "Saved ..." stands in the message field after a capture is finished.
    static constexpr int SavedShownMs = 6000;
    // An open line that brings no accepted frame for this long leaves the labels stale.
    static constexpr int StaleMs = 1000;
    using Clock = std::function<std::int64_t()>; // milliseconds on a steady clock
    // Opens the chosen port's link, notifying `notify`; by default on the platform's device.
    using LinkMaker =
        std::function<std::unique_ptr<ThreadIO>(const PortChoice& port, NotifyHandle* notify)>;

    // Touches nothing of the window yet, so that a window can hold it as a member.
    explicit Session(SessionWindow& window, Clock clock = {}, LinkMaker makeLink = {});
    // The window runs Shutdown (FormDestroy) before it goes, which ends the link.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The operator's commands.
    void OpenOrClose();    // Button1, by its caption
    void SaveFile();       // Button2
    void SendTestPacket(); // Button3
    void StopCapture();    // StopCapture1
    void Shutdown();       // FormDestroy
    // A numbered mark at the newest received byte, in the running capture's journal and on
    // the chart; numbers restart with each capture.
    void AddMark(const std::string& note = {});
    // The bytes received in the last `minutes` (at most RecentRecord::SpanMs), with their
    // journal, saved as a new capture whether one runs or not; the status bar says what was
    // saved, the error display why nothing was.
    void SaveLastMinutes(int minutes);
    // Shutdown when the process ends without its windows closing: nothing is shown, a
    // failure goes to standard error.
    void EndAtExit();

    // Where a mark goes, taken when the operator asks for it, so that a note written while
    // bytes go on arriving belongs to the moment of the asking.
    struct MarkPlace {
        std::uint64_t Offset = 0; // the capture's body offset
        double X = -1;            // the chart's newest point
        WallTime At;
        std::uint64_t Capture = 0;  // which capture of this session ran; 0: none
        std::uint64_t Received = 0; // the recent record's position
        std::int64_t Ms = 0;        // on the session's clock
    };
    MarkPlace PlaceMark() const;
    void AddMark(const MarkPlace& place, const std::string& note);

    // A WM_RXDATA notification; wParam is the count of the read that posted it.
    void OnRxData(std::uintptr_t wParam);
    // WM_LINELOST, WM_LINEBACK and WM_READERFAULT; false for any other message.
    bool OnLinkMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    // Brings the status fields up to date; the window's timer calls it.
    void Tick();
    // The window's paint tick: runs a tick that is nearly due there, so that the status fields
    // change in the screen update the frames cause anyway, and starts the timer afresh.
    void TickAtPaint();
    void SetDecimalSeparator(char separator) { decimalSeparator_ = separator; }
    char DecimalSeparator() const { return decimalSeparator_; }

    // One batch of up to DrainSize queued bytes into the capture and the assembler; its size.
    std::uint32_t Drain(ThreadIO& link);
    // Everything the stopped reader of `link` left queued, as the notifications would have
    // brought it; before the link frees its queue.
    void DrainAll(ThreadIO& link);
    // Decodes a drained batch, showing every accepted frame.
    void FeedBytes(const std::uint8_t* bytes, std::size_t count);
    void AssembleByte(std::uint8_t b);
    void ResetAssembler() { Assembler.ResetAssembler(); }
    void ShowFrame(const std::uint8_t* frame);
    void SendPacket(std::uint8_t* packet);
    // Throws the operator's text when no capture could be started.
    void StartCapture(const std::string& timeText);
    // Writes the stop time and closes the file; CaptureStream is null afterwards. Returns the
    // operator's text when that failed, for the caller to show once it may; empty otherwise.
    std::string FinishCapture(const std::string& timeText);

    // The target of the link's notifications.
    NotifyHandle* Notify() { return &notify_; }
    // The capture name counter of the process.
    static CaptureNamer& CaptureNames();
    // Counts the line's faults only: the frame cut by Save File or joined at an open is none.
    const LineHealthMeter& Health() const { return health_; }
    // The last ten minutes of the line, for the benchmarks.
    const RecentRecord& Recent() const { return recent_; }

    std::unique_ptr<CaptureFile> CaptureStream;
    FrameAssembler Assembler; // FrameBuf, SyncWord, FramePos

private:
    // Posts go to the window from the reader thread; Stopped comes on the GUI thread.
    class Notifier final : public NotifyHandle {
    public:
        explicit Notifier(Session& session) : session_(session) {}
        void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
        void PostAll(const PostedMessage* posts, std::size_t count) override;
        void Stopped(ThreadIO& link) override;
        void ShowBox(const std::string& text, const std::string& caption) override;

    private:
        Session& session_;
    };

    void Open();
    void Close();
    void EndLink();
    void ShowUnfinished(const std::string& failure);
    std::string FinishedWith(const std::string& failure);
    std::string LostText(const CaptureFile& file) const;
    void ReportCaptureWriteFailure();
    void RefreshCaptureField();
    void RefreshHealthField();
    void UpdateTicking();
    void UpdateSleepHold();
    std::uint64_t CaptureOffset() const;
    void JournalEvent(const char* event, const std::string& detail = {});
    bool JournalEventAt(std::uint64_t offset, const WallTime& at, const char* event,
                        const std::string& detail);
    void JournalArrival();
    void JournalSilence();
    void NoteBytesGivenUp();
    std::string PortName(std::intptr_t portNumber) const;
    std::int64_t Now() const;
    // The message field; a text for forMs only goes again then, unless another came.
    void ShowStatus(const std::string& text, int forMs = 0);

    SessionWindow& window_;
    Clock clock_;
    LinkMaker makeLink_;
    Notifier notify_{*this};
    LineHealthMeter health_;
    std::int64_t captureStartMs_ = 0;
    std::string captureWarning_;       // stands in the capture field until the next Save File
    std::unique_ptr<Journal> journal_; // the running capture's, if it could be made
    std::string journalWarning_;       // why the running capture has no journal (any more)
    std::int64_t lastTimeMarkMs_ = 0;
    std::int64_t lastKnownMs_ = 0;    // when bytes were last taken or an event journaled
    std::int64_t lastTickMs_ = 0;     // the last tick, by the timer or at a paint
    std::int64_t statusUntilMs_ = 0;  // when the passing message goes, or 0
    std::int64_t lastFrameMs_ = 0;    // the newest accepted frame, or the port's opening
    std::uint64_t lostJournaled_ = 0; // bytes given up that the journal has told
    std::uint64_t captures_ = 0;      // started by this session
    int marks_ = 0;                   // in the running capture, or since the last one
    char decimalSeparator_ = '.';
    RecentRecord recent_; // GUI thread: the last ten minutes of the line, fed by the drain
    bool ticking_ = false;
    bool holdingSleep_ = false;
    bool atExit_ = false;
    bool savingFile_ = false; // between Save File's finish of one capture and start of the next
    // The next pair may end a frame begun before the line was joined or the assembler reset.
    bool joining_ = true;
};

} // namespace vemor

// The running link, owned by the window's session; null while no port is open. GUI thread.
extern vemor::ThreadIO* SerialThread;
