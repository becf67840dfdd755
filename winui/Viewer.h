#pragma once
// A capture viewer on Win32: a window of its own beside the monitor, over the viewer model
// the Qt viewer has too. The five values as the live labels show them and the X unit above,
// the cursor's detail and the capture's summary, the chart, and a status bar with the
// progress of a load or an export. File > Open Capture..., Export CSV..., Close; View > Show
// All, Reload; a capture still recorded is followed as it grows; Marks > Next, Previous and each
// mark of the capture's journal. Several may be open; each ends with its window. GUI thread only.

#include "ViewerChart.h"

#include "vemor/capture/Viewer.h"

#include <shellapi.h>
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vemor {

class ViewerWindow {
public:
    // Opens a viewer for the file and starts loading it; what is not a capture is refused in
    // the error display and the viewer closes itself.
    // opener: the window it opens from, down and right of which it is placed.
    static ViewerWindow* Open(const std::string& path, HWND opener = nullptr);
    // The file dialog in the working folder, captures first; opens what is chosen.
    static void OpenWithDialog(HWND owner);
    // Each file of a drop, in a viewer of its own.
    static void OpenDropped(HDROP drop, HWND opener = nullptr);
    static const std::vector<ViewerWindow*>& All();
    // Closes every viewer, at the end of the program.
    static void CloseAll();

    ~ViewerWindow();
    ViewerWindow(const ViewerWindow&) = delete;
    ViewerWindow& operator=(const ViewerWindow&) = delete;

    HWND Handle() const { return window_; }
    const decode::ViewerModel& Model() const { return model_; }
    ViewerChart& Chart() { return *chart_; }

    void SetUnit(decode::XUnit unit);
    void ShowAll();
    void ShowRange(double lo, double hi);
    void SetCursorFrame(std::uint64_t frame);
    // Writes the CSV of the whole capture or of the frames in view, on a thread of its own.
    void ExportTo(const std::string& path, bool visibleOnly);

    // Asked when the file changed while it was read; true loads it again. By default a
    // question box.
    std::function<bool(const std::string& reason)> AskLoadAgain;
    // Told when an export ends or is refused, with what the window said.
    std::function<void(bool ok, const std::string& text)> OnExported;

    // The controls, owned by the window.
    std::array<HWND, 5> Labels{}; // RPM, Batt, ECT, MAT, PW
    HWND Detail = nullptr;
    HWND Summary = nullptr;
    HWND UnitChoice = nullptr;
    HWND Speed = nullptr; // the playback's speed, beside the unit
    HWND StatusBar = nullptr;
    HWND Progress = nullptr;
    HMENU FileMenu = nullptr;
    HMENU MarksMenu = nullptr; // Next, Previous, then one item per mark of the capture
    std::string StatusText() const { return status_; }
    // The commands of the Marks menu: the step (1 next, -1 previous), or a mark by number.
    void StepMark(int direction);
    void GoToMark(std::size_t mark);

private:
    explicit ViewerWindow(const std::string& path);
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT OnMessage(UINT message, WPARAM w, LPARAM l);
    void Build();
    void Layout();
    void StartLoading();
    void Poll();
    void FinishLoading(const decode::ViewerModel::Event& event);
    void FinishExport(const decode::ViewerModel::Event& event);
    void AskExport();
    // Shows what the model now says of the view and the cursor.
    void Apply();
    void ShowSummary();
    void ListMarks();
    void FollowFile();
    void Reload();
    // Does to the playback what act does, at the steady clock's time, and shows the outcome.
    void Play(void (*act)(decode::ViewerModel&, std::int64_t));
    void NameUnits();
    void SetStatus(const std::string& text);
    void ShowProgress(bool shown);
    void Exported(bool ok, const std::string& text);

    decode::ViewerModel model_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    HFONT labelFont_ = nullptr;
    std::unique_ptr<ViewerChart> chart_;
    std::string status_;
};

} // namespace vemor
