#pragma once
// A viewer of one capture as data, whatever window paints it: the loading and what comes of
// it, the stretch of X in view and how the wheel, a drag, a rectangle and Home move it, the
// cursor and what it reads, the summary, and the CSV export with its refusals. The window
// tells it the plot's width and the operator's input in pixels from the plot's left edge,
// and paints what it then says. Texts are 8-bit: the labels Latin-1, paths and reasons as
// the system gives them. GUI thread; the loading and the export run on threads of their own.

#include "vemor/capture/Background.h"
#include "vemor/capture/FileId.h"
#include "vemor/capture/Index.h"
#include "vemor/capture/View.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vemor::decode {

// What every viewer says the same way.
inline constexpr const char* ViewerHelp =
    "Click the chart to read a frame; the arrow keys step one frame, the wheel zooms, dragging "
    "pans, Ctrl and a dragged rectangle zoom in, Home shows everything.";
inline constexpr std::array<const char*, 2> UnitChoices = {"X in frames", "X in seconds"};
inline constexpr const char* SecondsTip =
    "Seconds from the start: each frame's byte offset divided by 6250, the line's bytes per "
    "second. Exact while the line was saturated.";
// The names of the six trace values in the cursor's detail line, in trace order.
inline constexpr std::array<const char*, SeriesCount> TraceNames = {"MAP", "RPM", "PW",
                                                                    "O2",  "TPS", "byte14"};

// Where a new viewer's window opens, in screen pixels: down and right of the window that
// opened it, past any viewer already there, and back at the screen's corner where it would
// leave the screen.
struct ScreenRect {
    int left = 0, top = 0, width = 0, height = 0;
};
inline constexpr int ViewerStep = 32;
std::pair<int, int> NewViewerPlace(const ScreenRect& opener, const ScreenRect& screen, int width,
                                   int height, const std::vector<std::pair<int, int>>& taken);

class ViewerModel {
public:
    using Loader = std::function<Loaded(const std::string& path, Progress* progress)>;
    // The narrowest view, in frames: zooming further shows nothing more.
    static constexpr double FewestFrames = 10;
    // How far inside the edges the cursor must stay, in pixels, before the view follows it.
    static constexpr int CursorMarginPx = 2;
    // A notch of the wheel shows this share of the width it showed.

    // path: the file's name as the system takes it. The file is identified now, so that an
    // export is never written over it, wherever it goes meanwhile.
    explicit ViewerModel(std::string path, Loader load = {});
    // Stops the loading and the export and waits for them.
    ~ViewerModel();
    ViewerModel(const ViewerModel&) = delete;
    ViewerModel& operator=(const ViewerModel&) = delete;

    const std::string& Path() const { return path_; }
    // The file's name without its folder.
    std::string FileName() const;
    std::string Title() const { return FileName() + " - Vemor"; }
    std::string LoadingSummary() const { return "Loading " + path_ + "..."; }
    std::string LoadingStatus() const { return "Loading " + FileName(); }

    // What a poll found finished.
    enum class Outcome {
        None,
        Loaded,          // the capture is shown
        AskLoadAgain,    // it changed while it was read: text is why; yes starts the loading
        Refused,         // not a capture: text says so; the viewer closes
        Exported,        // text is the status line
        ExportCancelled, // text is the status line
        ExportFailed,    // text is the error
    };
    struct Event {
        Outcome what = Outcome::None;
        std::string text;
        bool EndsLoading() const {
            return what == Outcome::Loaded || what == Outcome::AskLoadAgain ||
                   what == Outcome::Refused;
        }
    };

    void StartLoading();
    bool Loading() const { return loading_ != nullptr; }
    bool Exporting() const { return exporting_ != nullptr; }
    // Share done, 0 to 1, of the loading or the export that runs.
    double Fraction() const;
    // Called from a timer while either runs.
    Event Poll();
    static std::string LoadAgainQuestion(const std::string& reason) {
        return reason + ".\nLoad it again?";
    }
    // Null until the capture is loaded.
    const CaptureIndex* Index() const { return index_.get(); }
    bool HasFrames() const { return index_ && index_->Frames() > 0; }

    // Following a capture that is still recorded: reads what the file gained since, called
    // from a timer about once a second. A view that showed the newest frames shows them
    // still, and one that showed everything shows everything. Changed: the counts or the
    // journal are new (the summary and the view are to be shown again). Refused: it cannot
    // be followed (text says why), and is not tried again until it is loaded anew.
    static constexpr int FollowMs = 1000;
    enum class Growth { Same, Changed, Refused };
    Growth Follow(std::string* why = nullptr);

    // The view: X from Lo() to Hi() in the unit, over the plot's width.
    XUnit Unit() const { return unit_; }
    // The unit's name in the chooser and its tooltip: the seconds are time of day once a
    // capture with a journal is loaded.
    std::string UnitChoice(XUnit unit) const;
    std::string UnitTip() const;
    // With the seconds in time of day, the second of the day at X = 0, for the tick labels.
    std::optional<double> TickOrigin() const;
    // Keeps the same frames in view, and the cursor on its frame.
    void SetUnit(XUnit unit);
    std::string AxisTitle() const;
    double Lo() const { return lo_; }
    double Hi() const { return hi_; }
    void SetPlotWidth(int pixels) { width_ = pixels; }
    int PlotWidth() const { return width_; }
    void ShowAll();
    // Kept on the capture with a little room at the ends, and at least FewestFrames wide.
    void ShowRange(double lo, double hi);
    // X at a pixel from the plot's left edge, and back.
    double XAt(double px) const;
    double PixelOf(double x) const;
    // What the chart draws now.
    View Picture() const;

    // The operator's input. steps: notches turned away from the operator, who zooms in.
    void Wheel(double px, double steps);
    void StartDrag(double px);
    void DragTo(double px);
    void ZoomToPixels(double from, double to);
    // A click (not a drag) puts the cursor on the nearest frame.
    void Click(double px);

    // The cursor, kept in view; the arrow keys step it, starting from the middle of the view.
    void SetCursorFrame(std::uint64_t frame);
    void StepCursor(int frames);
    std::optional<std::uint64_t> CursorFrame() const { return cursor_; }
    double CursorX() const;

    // The journal's marks, in order: the frame each was placed in, and "Mark 2 at 17:09:41:
    // note".
    struct MarkEntry {
        std::uint64_t frame;
        std::string text;
    };
    std::vector<MarkEntry> Marks() const;
    // The cursor to a mark, or to the next (direction 1) or previous (-1) one from it; the
    // status text, or empty when there is none that way.
    std::string GoToMark(std::size_t mark);
    std::string StepMark(int direction);
    static constexpr const char* NoMarkText = "No mark that way.";

    // Playback: the cursor moves from where it is at the speed the capture was recorded (its
    // journal's clock, or the line's rate), times its speed, and the view follows it. Times are
    // the window's steady clock in milliseconds. Any navigation pauses it.
    static constexpr double SlowestSpeed = 0.25;
    static constexpr double FastestSpeed = 64;
    void TogglePlay(std::int64_t nowMs);
    bool Playing() const { return playing_; }
    // By doublings: 1 twice as fast, -1 half as fast, within the limits.
    void ChangeSpeed(int doublings, std::int64_t nowMs);
    // The cursor to where the playback is at nowMs; true when it moved. The end stops it.
    bool Advance(std::int64_t nowMs);
    // "Playing at 4x", "Space plays at 1/4x".
    std::string SpeedText() const;

    void SetDecimalSeparator(char sep) { sep_ = sep; }
    struct Reading {
        std::array<std::string, 5> labels; // as the live labels show them, Latin-1
        std::string detail;                // the six trace values, frame, offset and time
    };
    std::optional<Reading> CursorReading() const;

    // The number of a count as the regional settings write it.
    using CountText = std::function<std::string(std::uint64_t)>;
    std::string SummaryText(const CountText& count) const;

    // The frames in view, as [first, last).
    std::pair<std::uint64_t, std::uint64_t> VisibleFrames() const;
    // Empty when every frame is in view: then there is nothing to choose.
    std::string ExportQuestion() const;
    std::string SuggestedCsvName() const { return FileName() + ".csv"; }
    // Starts writing the CSV of the whole capture or of the frames in view; returns why it
    // cannot be written there, as the error to show, or empty.
    std::string StartExport(const std::string& target, bool visibleOnly);
    void CancelExport();
    std::string WritingStatus() const { return "Writing " + exportPath_; }

private:
    Event FinishLoading();
    Event FinishExport();
    std::uint64_t LastFrame() const { return index_->Frames() - 1; }
    void PlaceCursor(std::uint64_t frame);
    void ShowEverything();
    double PlayedSeconds(std::int64_t nowMs) const;

    std::string path_;
    FileId viewedId_;
    Loader load_;
    std::unique_ptr<Background<Loaded>> loading_;
    std::unique_ptr<CaptureIndex> index_; // grown here, read by the export's thread
    std::unique_ptr<Background<Result>> exporting_;
    std::string exportPath_;
    XUnit unit_ = XUnit::Frames;
    double lo_ = 0;
    double hi_ = 1;
    int width_ = 1;
    std::optional<std::pair<double, double>> dragFrom_; // the range at the press
    double dragPx_ = 0;
    std::optional<std::uint64_t> cursor_;
    char sep_ = '.';
    bool following_ = true;
    bool playing_ = false;
    double speed_ = 1;
    double playFrom_ = 0; // recorded seconds from the start, at playStartMs_
    std::int64_t playStartMs_ = 0;
};

} // namespace vemor::decode
