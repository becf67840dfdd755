#include "Viewer.h"

#include "Choice.h"
#include "ErrorDisplay.h"
#include "Fonts.h"
#include "FormDisplay.h"
#include "SystemLocale.h"

#include "vemor/SystemText.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace vemor {

namespace {

using decode::XUnit;
using Outcome = decode::ViewerModel::Outcome;

constexpr char ClassName[] = "VemorCaptureViewer";
constexpr UINT_PTR PollTimer = 1;
constexpr UINT PollMs = 30;
constexpr UINT_PTR PlayTimer = 2;
constexpr UINT_PTR FollowTimer = 3;
constexpr UINT PlayMs = 40; // a readout that changes 25 times a second can still be followed
constexpr int SpeedWidth = 130;
constexpr int ClientWidth = 1000;
constexpr int ClientHeight = 620;
constexpr int Margin = 6;
constexpr int LabelGap = 24;
constexpr int LineHeight = 16;
constexpr int StatusHeight = 19;
constexpr int ProgressWidth = 240;
constexpr int UnitWidth = 130;

enum : int {
    IdOpen = 301,
    IdExport,
    IdCancelExport,
    IdClose,
    IdShowAll,
    IdUnit,
    IdChart,
    IdStatus,
    IdReload,
    IdPlay,
    IdFaster,
    IdSlower,
    IdNextMark,
    IdPreviousMark,
    IdFirstMark, // and one more per mark
};

std::vector<ViewerWindow*>& Viewers() {
    static std::vector<ViewerWindow*> viewers; // GUI thread only
    return viewers;
}

void RegisterClassOnce() {
    static const bool done = [] {
        WNDCLASSA c{};
        c.lpfnWndProc = DefWindowProcA; // the object's own procedure once it is attached
        c.hInstance = GetModuleHandleA(nullptr);
        c.hCursor = LoadCursor(nullptr, IDC_ARROW);
        c.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
        c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        c.lpszClassName = ClassName;
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        return RegisterClassA(&c) != 0;
    }();
    if (!done) {
        throw std::runtime_error("Cannot register the viewer's window class");
    }
}

HWND Child(const char* cls, const char* text, DWORD style, HWND parent, int id, HFONT font) {
    HWND w = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleA(nullptr), nullptr);
    SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return w;
}

// The system's file dialog in the working folder; file holds the name suggested, then the
// one chosen.
bool AskFile(HWND owner, bool save, const char* title, const char* filter, std::string& file) {
    char name[MAX_PATH * 4] = {};
    file.copy(name, sizeof name - 1);
    std::error_code error;
    const std::string folder = std::filesystem::current_path(error).string();
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = name;
    dialog.nMaxFile = sizeof name;
    dialog.lpstrInitialDir = folder.c_str();
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY |
                   (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (save) {
        dialog.lpstrDefExt = "csv";
    }
    if (!(save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog))) {
        return false;
    }
    file = name;
    return true;
}

} // namespace

ViewerWindow* ViewerWindow::Open(const std::string& path, HWND opener) {
    auto* viewer = new ViewerWindow(path);
    RECT o{};
    if (opener != nullptr && IsWindowVisible(opener) && GetWindowRect(opener, &o)) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoA(MonitorFromWindow(opener, MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT& s = monitor.rcWork;
        RECT own{};
        GetWindowRect(viewer->window_, &own);
        std::vector<std::pair<int, int>> taken;
        for (const ViewerWindow* v : Viewers()) {
            RECT r{};
            if (v != viewer && IsWindowVisible(v->window_) && GetWindowRect(v->window_, &r)) {
                taken.emplace_back(r.left, r.top);
            }
        }
        const auto [x, y] =
            decode::NewViewerPlace({o.left, o.top, o.right - o.left, o.bottom - o.top},
                                   {s.left, s.top, s.right - s.left, s.bottom - s.top},
                                   own.right - own.left, own.bottom - own.top, taken);
        SetWindowPos(viewer->window_, nullptr, x, y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(viewer->window_, SW_SHOWNORMAL);
    UpdateWindow(viewer->window_);
    return viewer;
}

void ViewerWindow::OpenWithDialog(HWND owner) {
    std::string file;
    if (AskFile(owner, false, "Open Capture",
                "Captures (TMP*.$$$)\0TMP*.$$$\0All files (*.*)\0*.*\0", file)) {
        Open(file, owner);
    }
}

void ViewerWindow::OpenDropped(HDROP drop, HWND opener) {
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::string path(DragQueryFileA(drop, i, nullptr, 0) + 1, '\0');
        path.resize(DragQueryFileA(drop, i, path.data(), static_cast<UINT>(path.size())));
        Open(path, opener);
    }
    DragFinish(drop);
}

const std::vector<ViewerWindow*>& ViewerWindow::All() {
    return Viewers();
}

void ViewerWindow::CloseAll() {
    const std::vector<ViewerWindow*> open = Viewers();
    for (ViewerWindow* v : open) {
        DestroyWindow(v->window_); // deletes it
    }
}

ViewerWindow::ViewerWindow(const std::string& path) : model_(path) {
    RegisterClassOnce();
    font_ = CreateControlFont();
    labelFont_ = CreateLabelFont();
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT frame{0, 0, ClientWidth, ClientHeight};
    AdjustWindowRectEx(&frame, style, TRUE, 0);
    window_ = CreateWindowExA(0, ClassName, model_.Title().c_str(), style, CW_USEDEFAULT,
                              CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window_ == nullptr) {
        const DWORD err = GetLastError();
        DeleteObject(font_);
        DeleteObject(labelFont_);
        throw std::runtime_error("Cannot create the viewer's window: " +
                                 SystemText(static_cast<int>(err)));
    }
    Viewers().push_back(this);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Build();
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ViewerWindow::Proc));
    DragAcceptFiles(window_, TRUE);
    model_.SetDecimalSeparator(SystemDecimalSeparator());
    Layout();
    StartLoading();
}

ViewerWindow::~ViewerWindow() {
    std::erase(Viewers(), this);
    if (IsWindow(window_)) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    chart_.reset();
    DeleteObject(font_);
    DeleteObject(labelFont_);
}

void ViewerWindow::Build() {
    HMENU bar = CreateMenu();
    FileMenu = CreatePopupMenu();
    AppendMenuA(FileMenu, MF_STRING, IdOpen, "&Open Capture...\tCtrl+O");
    AppendMenuA(FileMenu, MF_STRING | MF_GRAYED, IdExport, "&Export CSV...");
    AppendMenuA(FileMenu, MF_STRING | MF_GRAYED, IdCancelExport, "Cancel Export\tEsc");
    AppendMenuA(FileMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(FileMenu, MF_STRING, IdClose, "&Close\tCtrl+W");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(FileMenu), "&File");
    HMENU view = CreatePopupMenu();
    AppendMenuA(view, MF_STRING, IdShowAll, "Show &All\tHome");
    AppendMenuA(view, MF_STRING, IdReload, "&Reload\tF5");
    AppendMenuA(view, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(view, MF_STRING, IdPlay, "&Play / Pause\tSpace");
    AppendMenuA(view, MF_STRING, IdFaster, "&Faster\t]");
    AppendMenuA(view, MF_STRING, IdSlower, "&Slower\t[");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), "&View");
    MarksMenu = CreatePopupMenu();
    AppendMenuA(MarksMenu, MF_STRING, IdNextMark, "&Next Mark\tF2");
    AppendMenuA(MarksMenu, MF_STRING, IdPreviousMark, "&Previous Mark\tShift+F2");
    AppendMenuA(MarksMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(MarksMenu), "&Marks");
    SetMenu(window_, bar);

    for (HWND& label : Labels) {
        label = Child("STATIC", "", SS_LEFT | SS_NOPREFIX, window_, 0, labelFont_);
    }
    UnitChoice =
        Child("COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, window_, IdUnit, font_);
    for (const char* choice : decode::UnitChoices) {
        SendMessageA(UnitChoice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice));
    }
    SendMessageA(UnitChoice, CB_SETCURSEL, 0, 0);
    Speed = Child("STATIC", "", SS_RIGHT | SS_NOPREFIX, window_, 0, font_);
    // Read-only edits: the texts can be selected and copied.
    const DWORD line = ES_READONLY | ES_AUTOHSCROLL;
    Detail = Child("EDIT", decode::ViewerHelp, line, window_, 0, font_);
    // Two lines for the summary, which a narrow window wraps.
    Summary = Child("EDIT", model_.LoadingSummary().c_str(), ES_READONLY | ES_MULTILINE, window_, 0,
                    font_);
    chart_ = std::make_unique<ViewerChart>(window_, IdChart, font_, model_);
    chart_->OnChanged = [this] { Apply(); };
    StatusBar = Child(STATUSCLASSNAMEA, "", SBARS_SIZEGRIP, window_, IdStatus, font_);
    Progress = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 0, 0, StatusBar, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    SendMessageA(Progress, PBM_SETRANGE32, 0, 1000);
}

void ViewerWindow::Layout() {
    RECT client{};
    GetClientRect(window_, &client);
    const int width = client.right;
    const int height = client.bottom;
    MoveWindow(StatusBar, 0, height - StatusHeight, width, StatusHeight, TRUE);
    int parts[2] = {std::max(width - ProgressWidth - GetSystemMetrics(SM_CXVSCROLL), 0), -1};
    SendMessageA(StatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    RECT part{};
    SendMessageA(StatusBar, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
    MoveWindow(Progress, part.left + 2, part.top + 2, part.right - part.left - 4,
               part.bottom - part.top - 4, TRUE);

    int x = Margin;
    for (HWND label : Labels) {
        RECT r{};
        GetClientRect(label, &r);
        SetWindowPos(label, nullptr, x, 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        x += r.right + (r.right > 0 ? LabelGap : 0);
    }
    const int unitLeft = std::max(width - Margin - UnitWidth, x);
    MoveWindow(UnitChoice, unitLeft, 3, UnitWidth, 200, TRUE);
    MoveWindow(Speed, std::max(unitLeft - Margin - SpeedWidth, x), 7, SpeedWidth, LineHeight, TRUE);
    const int detailTop = 4 + 24 + 4;
    MoveWindow(Detail, Margin, detailTop, std::max(width - 2 * Margin, 0), LineHeight, TRUE);
    MoveWindow(Summary, Margin, detailTop + LineHeight + 2, std::max(width - 2 * Margin, 0),
               2 * LineHeight - 2, TRUE);
    const int chartTop = detailTop + 3 * LineHeight + 6;
    MoveWindow(chart_->Handle(), 0, chartTop, width, std::max(height - StatusHeight - chartTop, 0),
               TRUE);
}

void ViewerWindow::StartLoading() {
    model_.StartLoading();
    SetStatus(model_.LoadingStatus());
    ShowProgress(true);
    SetTimer(window_, PollTimer, PollMs, nullptr);
}

void ViewerWindow::ShowProgress(bool shown) {
    SendMessageA(Progress, PBM_SETPOS, 0, 0);
    ShowWindow(Progress, shown ? SW_SHOWNA : SW_HIDE);
}

void ViewerWindow::SetStatus(const std::string& text) {
    status_ = text;
    SendMessageA(StatusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ViewerWindow::Poll() {
    const decode::ViewerModel::Event event = model_.Poll();
    if (event.EndsLoading()) {
        FinishLoading(event); // may have closed the window, and so deleted this
        return;
    }
    if (event.what != Outcome::None) {
        FinishExport(event);
    }
    if (model_.Loading() || model_.Exporting()) {
        SendMessageA(Progress, PBM_SETPOS, static_cast<WPARAM>(model_.Fraction() * 1000), 0);
    } else {
        KillTimer(window_, PollTimer);
    }
}

void ViewerWindow::FinishLoading(const decode::ViewerModel::Event& event) {
    KillTimer(window_, PollTimer);
    ShowProgress(false);
    SetStatus({});
    if (event.what == Outcome::AskLoadAgain) {
        const bool again =
            AskLoadAgain
                ? AskLoadAgain(event.text)
                : MessageBoxA(window_, decode::ViewerModel::LoadAgainQuestion(event.text).c_str(),
                              model_.Title().c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
        if (again) {
            StartLoading();
        } else {
            DestroyWindow(window_);
        }
        return;
    }
    if (event.what == Outcome::Refused) {
        const std::string text = event.text;
        DestroyWindow(window_);
        ShowErrorDisplay(text);
        return;
    }
    EnableMenuItem(FileMenu, IdExport, MF_BYCOMMAND | MF_ENABLED);
    NameUnits();
    ListMarks();
    ShowSummary();
    ShowAll();
    SetTimer(window_, FollowTimer, decode::ViewerModel::FollowMs, nullptr);
    SetFocus(chart_->Handle()); // the keys are the chart's, not the unit chooser's
}

void ViewerWindow::FollowFile() {
    std::string why;
    switch (model_.Follow(&why)) {
    case decode::ViewerModel::Growth::Same:
        return;
    case decode::ViewerModel::Growth::Refused:
        KillTimer(window_, FollowTimer);
        SetStatus("No longer following: " + why + " (F5 loads it anew)");
        return;
    case decode::ViewerModel::Growth::Changed:
        NameUnits();
        ListMarks();
        ShowSummary();
        Apply();
        return;
    }
}

void ViewerWindow::Reload() {
    if (model_.Loading() || model_.Exporting()) {
        return;
    }
    KillTimer(window_, FollowTimer);
    EnableMenuItem(FileMenu, IdExport, MF_BYCOMMAND | MF_GRAYED);
    StartLoading();
}

void ViewerWindow::NameUnits() {
    const auto chosen = SendMessageA(UnitChoice, CB_GETCURSEL, 0, 0);
    SendMessageA(UnitChoice, CB_RESETCONTENT, 0, 0);
    for (const XUnit unit : {XUnit::Frames, XUnit::Seconds}) {
        SendMessageA(UnitChoice, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(model_.UnitChoice(unit).c_str()));
    }
    SendMessageA(UnitChoice, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
}

void ViewerWindow::ListMarks() {
    // Everything after Next, Previous and the separator is the last capture's.
    while (GetMenuItemCount(MarksMenu) > 3) {
        DeleteMenu(MarksMenu, 3, MF_BYPOSITION);
    }
    const auto marks = model_.Marks();
    for (std::size_t m = 0; m < marks.size(); ++m) {
        AppendMenuA(MarksMenu, MF_STRING, IdFirstMark + m, marks[m].text.c_str());
    }
    if (marks.empty()) {
        AppendMenuA(MarksMenu, MF_STRING | MF_GRAYED, 0, "(no marks in this capture)");
    }
}

void ViewerWindow::Play(void (*act)(decode::ViewerModel&, std::int64_t)) {
    if (model_.Index() == nullptr) {
        return;
    }
    const std::optional<std::uint64_t> before = model_.CursorFrame();
    const bool playing = model_.Playing();
    act(model_, static_cast<std::int64_t>(GetTickCount64()));
    if (model_.CursorFrame() != before || model_.Playing() != playing) {
        Apply();
    } else {
        SetWindowTextA(Speed, model_.SpeedText().c_str());
    }
}

void ViewerWindow::StepMark(int direction) {
    SetStatus(model_.StepMark(direction));
    Apply();
}

void ViewerWindow::GoToMark(std::size_t mark) {
    SetStatus(model_.GoToMark(mark));
    Apply();
}

void ViewerWindow::ShowSummary() {
    SetWindowTextA(Summary, model_.SummaryText(CountText).c_str());
}

void ViewerWindow::SetUnit(XUnit unit) {
    model_.SetUnit(unit);
    SendMessageA(UnitChoice, CB_SETCURSEL, unit == XUnit::Frames ? 0 : 1, 0);
    Apply();
}

void ViewerWindow::ShowAll() {
    model_.ShowAll();
    Apply();
}

void ViewerWindow::ShowRange(double lo, double hi) {
    model_.ShowRange(lo, hi);
    Apply();
}

void ViewerWindow::SetCursorFrame(std::uint64_t frame) {
    model_.SetCursorFrame(frame);
    Apply();
}

void ViewerWindow::Apply() {
    SetWindowTextA(Speed, model_.Index() != nullptr ? model_.SpeedText().c_str() : "");
    if (model_.Playing()) {
        SetTimer(window_, PlayTimer, PlayMs, nullptr);
    } else {
        KillTimer(window_, PlayTimer);
    }
    chart_->Refresh();
    const auto reading = model_.CursorReading();
    if (!reading) {
        return;
    }
    for (std::size_t i = 0; i < Labels.size(); ++i) {
        PutLabelText(Labels[i], reading->labels[i]);
    }
    SetWindowTextA(Detail, reading->detail.c_str());
    Layout();
}

void ViewerWindow::AskExport() {
    if (model_.Index() == nullptr || model_.Exporting()) {
        return;
    }
    const std::string question = model_.ExportQuestion();
    bool visibleOnly = false;
    if (!question.empty()) {
        const int chosen =
            Choose(window_, "Export CSV", question, {"Whole Capture", "Frames in View", "Cancel"});
        if (chosen < 0) {
            return;
        }
        visibleOnly = chosen == 1;
    }
    std::string file = model_.SuggestedCsvName();
    if (AskFile(window_, true, "Export CSV", "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0",
                file)) {
        ExportTo(file, visibleOnly);
    }
}

void ViewerWindow::ExportTo(const std::string& path, bool visibleOnly) {
    if (model_.Index() == nullptr || model_.Exporting()) {
        return;
    }
    const std::string refusal = model_.StartExport(path, visibleOnly);
    if (!refusal.empty()) {
        Exported(false, refusal);
        ShowErrorDisplay(refusal);
        return;
    }
    SetStatus(model_.WritingStatus());
    ShowProgress(true);
    EnableMenuItem(FileMenu, IdCancelExport, MF_BYCOMMAND | MF_ENABLED);
    SetTimer(window_, PollTimer, PollMs, nullptr);
}

void ViewerWindow::FinishExport(const decode::ViewerModel::Event& event) {
    ShowProgress(false);
    EnableMenuItem(FileMenu, IdCancelExport, MF_BYCOMMAND | MF_GRAYED);
    if (event.what == Outcome::ExportFailed) {
        SetStatus({});
        Exported(false, event.text);
        ShowErrorDisplay(event.text);
        return;
    }
    SetStatus(event.text);
    Exported(event.what == Outcome::Exported, event.text);
}

void ViewerWindow::Exported(bool ok, const std::string& text) {
    if (OnExported) {
        OnExported(ok, text);
    }
}

LRESULT CALLBACK ViewerWindow::Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* viewer = reinterpret_cast<ViewerWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (viewer == nullptr) {
        return DefWindowProcA(window, message, w, l);
    }
    LRESULT result = 0;
    RunHandler([&] { result = viewer->OnMessage(message, w, l); });
    return result;
}

LRESULT ViewerWindow::OnMessage(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_TIMER:
        if (w == PollTimer) {
            Poll();
            return 0;
        }
        if (w == FollowTimer) {
            FollowFile();
            return 0;
        }
        if (w == PlayTimer) {
            Play([](decode::ViewerModel& m, std::int64_t now) { m.Advance(now); });
            return 0;
        }
        break;
    case WM_CHAR: {
        // Space, ] and [ from the chart or the viewer, as the View menu's items.
        const int command = w == ' ' ? IdPlay : w == ']' ? IdFaster : w == '[' ? IdSlower : 0;
        if (command != 0) {
            SendMessageA(window_, WM_COMMAND, static_cast<WPARAM>(command), 0);
            return 0;
        }
        break;
    }
    case WM_COMMAND:
        switch (LOWORD(w)) {
        case IdOpen:
            OpenWithDialog(window_);
            return 0;
        case IdExport:
            AskExport();
            return 0;
        case IdCancelExport:
            model_.CancelExport();
            return 0;
        case IdClose:
            DestroyWindow(window_);
            return 0;
        case IdShowAll:
            ShowAll();
            return 0;
        case IdReload:
            Reload();
            return 0;
        case IdPlay:
            Play([](decode::ViewerModel& m, std::int64_t now) { m.TogglePlay(now); });
            return 0;
        case IdFaster:
        case IdSlower:
            Play(LOWORD(w) == IdFaster
                     ? [](decode::ViewerModel& m, std::int64_t now) { m.ChangeSpeed(1, now); }
                     : [](decode::ViewerModel& m, std::int64_t now) { m.ChangeSpeed(-1, now); });
            return 0;
        case IdNextMark:
        case IdPreviousMark:
            StepMark(LOWORD(w) == IdNextMark ? 1 : -1);
            return 0;
        case IdUnit: {
            // The choice as it stands when the list closes (a cancel restores it), or as the
            // keys change it while the list is closed.
            const WORD code = HIWORD(w);
            const bool dropped = SendMessageA(UnitChoice, CB_GETDROPPEDSTATE, 0, 0) != 0;
            if (code == CBN_CLOSEUP || code == CBN_SELENDOK || code == CBN_SELENDCANCEL ||
                (code == CBN_SELCHANGE && !dropped)) {
                const auto i = SendMessageA(UnitChoice, CB_GETCURSEL, 0, 0);
                SetUnit(i == 0 ? XUnit::Frames : XUnit::Seconds);
            }
            if (code == CBN_CLOSEUP) {
                SetFocus(chart_->Handle());
            }
            return 0;
        }
        default:
            if (LOWORD(w) >= IdFirstMark) {
                GoToMark(LOWORD(w) - IdFirstMark);
                return 0;
            }
            break;
        }
        break;
    case WM_KEYDOWN: {
        const bool control = GetKeyState(VK_CONTROL) < 0;
        if (control && (w == 'O' || w == 'W')) {
            SendMessageA(window_, WM_COMMAND, w == 'O' ? IdOpen : IdClose, 0);
            return 0;
        }
        if (w == VK_ESCAPE) {
            model_.CancelExport();
            return 0;
        }
        if (w == VK_F5) {
            Reload();
            return 0;
        }
        if (w == VK_F2) {
            StepMark(GetKeyState(VK_SHIFT) < 0 ? -1 : 1);
            return 0;
        }
        break;
    }
    case WM_DROPFILES:
        OpenDropped(reinterpret_cast<HDROP>(w), window_);
        return 0;
    case WM_SETFOCUS:
        SetFocus(chart_->Handle());
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_SETTINGCHANGE:
        model_.SetDecimalSeparator(SystemDecimalSeparator());
        if (model_.Index() != nullptr) {
            ShowSummary();
            Apply();
        }
        break;
    case WM_NCDESTROY:
        // The window went (closed, or at the end of the program): so does the viewer, its
        // loading or export stopped first.
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        window_ = nullptr;
        delete this;
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window_, message, w, l);
}

} // namespace vemor
