#include "Main.h"

#include "Choice.h"
#include "ErrorDisplay.h"
#include "Fonts.h"
#include "PortChooser.h"
#include "SystemLocale.h"
#include "Viewer.h"
#include "WindowText.h"

#include "vemor/ChartLook.h"
#include "vemor/Display.h"
#include "vemor/LastMinutes.h"
#include "vemor/Packet.h"
#include "vemor/StatusWidths.h"
#include "vemor/Values.h"
#include "vemor/WindowSize.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <vector>

TForm1* Form1 = nullptr;

namespace {

constexpr int DefaultPortIndex = 9; // "COM10"
constexpr UINT_PTR TickTimer = 1;
constexpr int ClientWidth = 921;
constexpr int ClientHeight = 580;
constexpr int PanelHeight = 105;
constexpr int StatusHeight = 19;
constexpr int MemoHeight = 20;
constexpr char FormClass[] = "TForm1";
constexpr char PanelClass[] = "TPanel";
constexpr char PageClass[] = "TTabSheet";

// Panels and tab pages hand their controls' commands to the window and give the labels
// their background.
LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
        return SendMessageA(GetAncestor(window, GA_ROOT), message, w, l);
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(w);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_PAINT: {
        char name[16];
        GetClassNameA(window, name, sizeof name);
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (std::string_view(name) == PanelClass) {
            RECT r;
            GetClientRect(window, &r);
            DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
        }
        EndPaint(window, &ps);
        return 0;
    }
    default:
        return DefWindowProcA(window, message, w, l);
    }
}

void RegisterClasses(HINSTANCE instance) {
    static const bool done = [instance] {
        WNDCLASSA form{};
        form.lpfnWndProc = DefWindowProcA; // the object's own procedure once it is attached
        form.hInstance = instance;
        form.hCursor = LoadCursor(nullptr, IDC_ARROW);
        form.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
        form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        form.lpszClassName = FormClass;
        WNDCLASSA container = form;
        container.lpfnWndProc = ContainerProc;
        container.hIcon = nullptr;
        // A strip that grows is painted whole, so that no old right edge stays behind.
        container.style = CS_HREDRAW | CS_VREDRAW;
        container.lpszClassName = PanelClass;
        WNDCLASSA page = container;
        page.lpszClassName = PageClass;
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_TAB_CLASSES};
        InitCommonControlsEx(&controls);
        return RegisterClassA(&form) != 0 && RegisterClassA(&container) != 0 &&
               RegisterClassA(&page) != 0;
    }();
    if (!done) {
        throw std::runtime_error("Cannot register the window classes");
    }
}

HWND Child(const char* cls, const char* text, DWORD style, int x, int y, int w, int h, HWND parent,
           int id = 0, DWORD exStyle = 0) {
    return CreateWindowExA(exStyle, cls, text, WS_CHILD | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleA(nullptr), nullptr);
}

// The screen's dots per inch where the window is: its own monitor's where the system says
// (Windows 10 1607 on), else the system's.
int WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto forWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (forWindow != nullptr) {
        if (const UINT dpi = forWindow(window); dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

} // namespace

TForm1::TForm1(HINSTANCE instance) : SessionForm(static_cast<vemor::SessionWindow&>(*this)) {
    RegisterClasses(instance);
    MakeFonts();
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    MainMenu1 = CreateMenu();
    RECT frame{0, 0, ClientWidth, ClientHeight};
    AdjustWindowRectEx(&frame, style, TRUE, WS_EX_CONTROLPARENT);
    Handle = CreateWindowExA(WS_EX_CONTROLPARENT, FormClass, "Vemor", style, 56, 39,
                             frame.right - frame.left, frame.bottom - frame.top, nullptr, MainMenu1,
                             instance, nullptr);
    if (Handle == nullptr) {
        const DWORD err = GetLastError();
        DestroyMenu(MainMenu1);
        DeleteObject(font_);
        DeleteObject(labelFont_);
        throw std::runtime_error("Cannot create the main window: " +
                                 vemor::SystemText(static_cast<int>(err)));
    }
    SetWindowLongPtrA(Handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    dpi_ = WindowDpi(Handle);
    if (dpi_ != 96) {
        MakeFonts();
        RECT outer, inner;
        GetWindowRect(Handle, &outer);
        GetClientRect(Handle, &inner);
        SetWindowPos(Handle, nullptr, 0, 0,
                     outer.right - outer.left - inner.right + Scaled(ClientWidth),
                     outer.bottom - outer.top - inner.bottom + Scaled(ClientHeight),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    BuildLayout();
    BuildChart();
    SetWindowLongPtrA(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm1::Proc));
    // Captures dropped on the window open in viewers.
    DragAcceptFiles(Handle, TRUE);
    ACCEL keys[] = {{FCONTROL | FVIRTKEY, 'O', IdOpenCapture1},
                    {FVIRTKEY, VK_F2, IdMark1},
                    {FSHIFT | FVIRTKEY, VK_F2, IdMarkWithNote1}};
    keys_ = CreateAcceleratorTableA(keys, static_cast<int>(std::size(keys)));
    RECT client;
    GetClientRect(Handle, &client);
    Layout(client.right, client.bottom);
    ReadLocale();

    SendMessageA(ComboBox1, CB_SETCURSEL, DefaultPortIndex, 0);
    CaptureStream.reset();
    SerialThread = nullptr;
    EnableWindow(Button2, FALSE);
    EnableWindow(Button3, FALSE);
}

TForm1::~TForm1() {
    if (!destroyed_ && IsWindow(Handle)) {
        DestroyWindow(Handle);
    }
    display_.reset();
    DestroyAcceleratorTable(keys_);
    DeleteObject(font_);
    DeleteObject(labelFont_);
}

void TForm1::Show(int how) {
    ShowWindow(Handle, how);
    // Open first, as in the tab order: Space at start opens the port.
    SetFocus(Button1);
    UpdateWindow(Handle);
}

void TForm1::MakeFonts() {
    HFONT oldFont = font_;
    HFONT oldLabelFont = labelFont_;
    font_ = vemor::CreateControlFont(dpi_);
    labelFont_ = vemor::CreateLabelFont(dpi_);
    // The controls made so far take the new fonts before the old ones go.
    for (HWND w : {Button1, Button2, Button3, ComboBox1, StatusBar1, PageControl1, Memo1}) {
        if (w != nullptr) {
            SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        }
    }
    for (HWND w : {LabelRPM, LabelBatt, LabelECT, LabelMAT, LabelPW}) {
        if (w != nullptr) {
            SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont_), TRUE);
        }
    }
    if (Chart1 != nullptr) {
        Chart1->SetFont(font_);
    }
    DeleteObject(oldFont);
    DeleteObject(oldLabelFont);
}

HWND TForm1::Place(const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
                   HWND parent, int id, DWORD exStyle) {
    HWND window =
        Child(cls, text, style, Scaled(x), Scaled(y), Scaled(w), Scaled(h), parent, id, exStyle);
    placed_.push_back({window, {x, y, w, h}});
    return window;
}

// Moved to a screen of another scale: the system suggests the window's new frame.
void TForm1::ChangeScale(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    MakeFonts();
    for (const Placed& p : placed_) {
        MoveWindow(p.window, Scaled(p.design.left), Scaled(p.design.top), Scaled(p.design.right),
                   Scaled(p.design.bottom), TRUE);
    }
    SendMessageA(ComboBox1, CB_SETITEMHEIGHT, 0, Scaled(13));
    if (display_) {
        display_->FitLabels(vemor::SystemDecimalSeparator()); // in the new font
    }
    SetWindowPos(Handle, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(Handle, &client);
    Layout(client.right, client.bottom);
}

void TForm1::BuildLayout() {
    const auto setFont = [](HWND w, HFONT f) {
        SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
    };

    // The menu: "&File" with "Open Capture...", "Stop Capture", "Save Last Minutes..." and
    // the marks, "&Tool" with
    // "Terminal", which has no handler.
    File1 = CreatePopupMenu();
    AppendMenuA(File1, MF_STRING, IdOpenCapture1, "Open Capture...\tCtrl+O");
    AppendMenuA(File1, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(File1, MF_STRING | MF_GRAYED, IdStopCapture1, "Stop Capture");
    AppendMenuA(File1, MF_STRING, IdSaveLastMinutes1, "Save Last Minutes...");
    AppendMenuA(File1, MF_STRING, IdMark1, "Mark\tF2");
    AppendMenuA(File1, MF_STRING, IdMarkWithNote1, "Mark with Note...\tShift+F2");
    AppendMenuA(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(File1), "&File");
    Tool1 = CreatePopupMenu();
    AppendMenuA(Tool1, MF_STRING, IdTerminal1, "Terminal");
    AppendMenuA(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(Tool1), "&Tool");
    DrawMenuBar(Handle);

    // Created in the layout's order; within a parent, that order is also the tab order.
    StatusBar1 =
        Child(STATUSCLASSNAMEA, "",
              WS_VISIBLE | SBARS_SIZEGRIP | SBARS_TOOLTIPS | CCS_NOPARENTALIGN | CCS_NORESIZE, 0,
              ClientHeight - StatusHeight, ClientWidth, StatusHeight, Handle, IdStatusBar1);
    LayoutStatus();
    Panel1 = Child(PanelClass, "", WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, ClientWidth, PanelHeight,
                   Handle, 0, WS_EX_CONTROLPARENT);

    struct LabelDesign {
        HWND* field;
        const char* caption;
        int left, top, width;
    };
    const LabelDesign labels[] = {
        {&LabelRPM, "LabelRPM", 320, 53, 83}, {&LabelBatt, "LabelBatt", 320, 9, 79},
        {&LabelECT, "LabelECT", 495, 3, 79},  {&LabelMAT, "LabelMAT", 496, 53, 81},
        {&LabelPW, "LabelPW", 728, 0, 72},
    };
    for (const LabelDesign& d : labels) {
        *d.field = Place("STATIC", d.caption, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, d.left, d.top,
                         d.width, 20, Panel1);
        setFont(*d.field, labelFont_);
    }

    Button1 = Place("BUTTON", "Open", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 16, 8, 75, 25,
                    Panel1, IdButton1);
    // The height given to a drop-down combo box includes its list; the field is 21 high.
    ComboBox1 = Place("COMBOBOX", "", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN, 98, 9,
                      94, 21 + 17 * 13 + 4, Panel1, IdComboBox1);
    setFont(ComboBox1, font_);
    chooser_ = std::make_unique<vemor::PortChooser>(ComboBox1);
    SendMessageA(ComboBox1, CB_SETITEMHEIGHT, 0, Scaled(13));
    SetWindowTextA(ComboBox1, "ComboBox1");
    Button2 = Place("BUTTON", "Save File", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 208, 8, 75, 25,
                    Panel1, IdButton2);
    // The Test button is part of the window, but nothing makes it visible.
    Button3 = Place("BUTTON", "Test", WS_DISABLED | WS_TABSTOP | BS_PUSHBUTTON, 16, 56, 75, 25,
                    Panel1, IdButton3);

    PageControl1 = Child(WC_TABCONTROLA, "", WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN, 0,
                         PanelHeight, ClientWidth, ClientHeight - PanelHeight - StatusHeight,
                         Handle, IdPageControl1, WS_EX_CONTROLPARENT);
    setFont(PageControl1, font_);
    for (const char* caption : {"Vemor", "Terminal"}) {
        TCITEMA tab{};
        tab.mask = TCIF_TEXT;
        tab.pszText = const_cast<char*>(caption);
        SendMessageA(PageControl1, TCM_INSERTITEMA,
                     SendMessageA(PageControl1, TCM_GETITEMCOUNT, 0, 0),
                     reinterpret_cast<LPARAM>(&tab));
    }
    Vemor = Child(PageClass, "Vemor", 0, 0, 0, 0, 0, PageControl1, 0, WS_EX_CONTROLPARENT);
    Terminal = Child(PageClass, "Terminal", 0, 0, 0, 0, 0, PageControl1, 0, WS_EX_CONTROLPARENT);

    Memo1 = Child("EDIT", "", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                  0, 0, 0, MemoHeight, Terminal, IdMemo1, WS_EX_CLIENTEDGE);
    setFont(Memo1, font_);
    SetWindowLongPtrA(Memo1, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    memoDefault_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(Memo1, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm1::MemoProc)));

    for (HWND w : {Button1, Button2, Button3, StatusBar1}) {
        setFont(w, font_);
    }
    // The Terminal page in front.
    SendMessageA(PageControl1, TCM_SETCURSEL, 1, 0);
}

void TForm1::BuildChart() {
    display_ = std::make_unique<vemor::FormDisplay>(
        std::array<HWND, 5>{LabelRPM, LabelBatt, LabelECT, LabelMAT, LabelPW}, Terminal, IdChart1,
        vemor::TraceSeries(), font_);
    Chart1 = &display_->Chart();
    display_->OnPaintTick = [this] { Session.TickAtPaint(); };
    // After the memo in the tab order, as created.
    SetWindowPos(Chart1->Handle(), Memo1, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TForm1::Layout(int width, int height) {
    const int statusHeight = Scaled(StatusHeight);
    const int panelHeight = Scaled(PanelHeight);
    const int memoHeight = Scaled(MemoHeight);
    MoveWindow(StatusBar1, 0, height - statusHeight, width, statusHeight, TRUE);
    LayoutStatus();
    // The bar draws its size grip only where it is now; the old one goes with a full repaint.
    InvalidateRect(StatusBar1, nullptr, TRUE);
    MoveWindow(Panel1, 0, 0, width, panelHeight, TRUE);
    const int pagesHeight = std::max(height - panelHeight - statusHeight, 0);
    MoveWindow(PageControl1, 0, panelHeight, width, pagesHeight, TRUE);
    RECT page{0, 0, width, pagesHeight};
    SendMessageA(PageControl1, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    const int pw = std::max<int>(page.right - page.left, 0);
    const int ph = std::max<int>(page.bottom - page.top, 0);
    for (HWND p : {Vemor, Terminal}) {
        MoveWindow(p, page.left, page.top, pw, ph, TRUE);
    }
    MoveWindow(Memo1, 0, std::max(ph - memoHeight, 0), pw, memoHeight, TRUE);
    MoveWindow(Chart1->Handle(), 0, 0, pw, std::max(ph - memoHeight, 0), TRUE);
    ShowPage(static_cast<int>(SendMessageA(PageControl1, TCM_GETCURSEL, 0, 0)));
}

void TForm1::ShowPage(int index) {
    ShowWindow(Vemor, index == 0 ? SW_SHOW : SW_HIDE);
    ShowWindow(Terminal, index == 1 ? SW_SHOW : SW_HIDE);
}

void TForm1::ReadLocale() {
    Session.SetDecimalSeparator(vemor::SystemDecimalSeparator());
    if (display_) {
        display_->FitLabels(vemor::SystemDecimalSeparator());
    }
}

int TForm1::SelectedPortIndex() const {
    return chooser_->SelectedIndex();
}

LRESULT CALLBACK TForm1::Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcA(window, message, w, l);
    }
    LRESULT result = 0;
    vemor::RunHandler([&] { result = form->Dispatch(message, w, l); });
    return result;
}

LRESULT CALLBACK TForm1::MemoProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_LBUTTONDBLCLK) {
        vemor::RunHandler([&] { form->Memo1DblClick(window); });
        return 0;
    }
    return CallWindowProcA(form->memoDefault_, window, message, w, l);
}

LRESULT TForm1::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case vemor::WM_RXDATA:
        OnRxData(wParam, lParam);
        return 0;
    case vemor::WM_LINELOST:
    case vemor::WM_LINEBACK:
    case vemor::WM_READERFAULT:
        Session.OnLinkMessage(message, wParam, lParam);
        return 0;
    case vemor::PortChooser::ShowNameMessage:
        chooser_->ShowChosenName();
        return 0;
    case WM_TIMER:
        if (wParam == TickTimer) {
            Session.Tick();
            return 0;
        }
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IdComboBox1 && HIWORD(wParam) == CBN_DROPDOWN) {
            chooser_->Refresh();
            return 0;
        }
        if (LOWORD(wParam) == IdComboBox1 && HIWORD(wParam) == CBN_SELCHANGE) {
            PostMessageA(Handle, vemor::PortChooser::ShowNameMessage, 0, 0);
            return 0;
        }
        // A button's click, a menu item's, or a shortcut's (1, from no control).
        if (HIWORD(wParam) == BN_CLICKED || (HIWORD(wParam) == 1 && lParam == 0)) {
            const HWND sender = reinterpret_cast<HWND>(lParam);
            switch (LOWORD(wParam)) {
            case IdButton1:
                Button1Click(sender);
                return 0;
            case IdButton2:
                Button2Click(sender);
                return 0;
            case IdButton3:
                Button3Click(sender);
                return 0;
            case IdStopCapture1:
                StopCapture1Click(sender);
                return 0;
            case IdSaveLastMinutes1:
                SaveLastMinutes1Click(sender, [this]() -> std::optional<int> {
                    std::vector<std::string> buttons;
                    for (const int minutes : vemor::LastMinutesChoices) {
                        buttons.push_back(vemor::MinutesText(minutes));
                    }
                    buttons.emplace_back("Cancel");
                    const int chosen =
                        vemor::Choose(Handle, vemor::LastMinutesTitle, vemor::LastMinutesPrompt,
                                      buttons, static_cast<int>(vemor::LastMinutesPreselected));
                    if (chosen < 0) {
                        return std::nullopt;
                    }
                    return vemor::LastMinutesChoices[static_cast<std::size_t>(chosen)];
                });
                return 0;
            case IdMark1:
                Mark1Click(sender);
                return 0;
            case IdMarkWithNote1:
                MarkWithNote1Click(sender, [this] {
                    return vemor::AskText(Handle, "Mark with Note", "Note for the mark:");
                });
                return 0;
            case IdOpenCapture1:
                vemor::ViewerWindow::OpenWithDialog(Handle);
                return 0;
            default:
                break; // the other menu items have no handler
            }
        }
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == PageControl1 && header->code == TCN_SELCHANGE) {
            ShowPage(static_cast<int>(SendMessageA(PageControl1, TCM_GETCURSEL, 0, 0)));
            return 0;
        }
        break;
    }
    case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_DPICHANGED:
        ChangeScale(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->hwndItem == StatusBar1) {
            DrawStatusPart(*item);
            return TRUE;
        }
        break;
    }
    case WM_GETMINMAXINFO: {
        // The whole control strip stays in view, at the screen's scale.
        RECT outer{}, inner{};
        if (GetWindowRect(Handle, &outer) && GetClientRect(Handle, &inner)) {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize.x =
                outer.right - outer.left - inner.right + Scaled(vemor::MinimumClientWidth);
            limits->ptMinTrackSize.y =
                outer.bottom - outer.top - inner.bottom + Scaled(vemor::MinimumClientHeight);
        }
        return 0;
    }
    case WM_MOUSEWHEEL: {
        // The wheel reaches the window with the focus; the chart under the pointer zooms.
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        RECT chart{};
        GetWindowRect(Chart1->Handle(), &chart);
        if (IsWindowVisible(Chart1->Handle()) && PtInRect(&chart, at)) {
            SendMessageA(Chart1->Handle(), WM_MOUSEWHEEL, wParam, lParam);
            return 0;
        }
        break;
    }
    case WM_DROPFILES:
        vemor::ViewerWindow::OpenDropped(reinterpret_cast<HDROP>(wParam), Handle);
        return 0;
    case WM_SETTINGCHANGE:
        ReadLocale();
        break;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // Log-off or shutdown: the process may end right after this returns, window or not.
        if (wParam != FALSE) {
            FormDestroy(Handle);
        }
        return 0;
    case WM_DESTROY:
        destroyed_ = true;
        KillTimer(Handle, TickTimer);
        FormDestroy(Handle);
        if (QuitOnDestroy) {
            PostQuitMessage(0);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcA(Handle, message, wParam, lParam);
}

bool TForm1::TranslateKeys(MSG* message) {
    // Only what is typed into this window; a viewer has its own keys.
    const bool ours = message->hwnd == Handle || IsChild(Handle, message->hwnd);
    if (!ours) {
        return false;
    }
    // Enter presses the push button that has the focus, as Space does; the dialog manager
    // would send it to a default button this window does not have.
    if (message->message == WM_KEYDOWN && message->wParam == VK_RETURN) {
        char cls[16] = {};
        GetClassNameA(message->hwnd, cls, sizeof cls);
        const auto style = GetWindowLongA(message->hwnd, GWL_STYLE) & BS_TYPEMASK;
        if (lstrcmpiA(cls, "Button") == 0 &&
            (style == BS_PUSHBUTTON || style == BS_DEFPUSHBUTTON)) {
            SendMessageA(message->hwnd, BM_CLICK, 0, 0);
            return true;
        }
    }
    return TranslateAcceleratorA(Handle, keys_, message) != 0;
}

void TForm1::Memo1DblClick(HWND) {
    SetWindowTextA(Memo1, "");
}

std::string TForm1::Button1Caption() const {
    return vemor::WindowText(Button1);
}

void TForm1::SetButton1Caption(const std::string& caption) {
    SetWindowTextA(Button1, caption.c_str());
}

void TForm1::EnableCommand(vemor::Command command, bool enabled) {
    switch (command) {
    case vemor::Command::SaveFile:
        EnableWindow(Button2, enabled ? TRUE : FALSE);
        break;
    case vemor::Command::Test:
        EnableWindow(Button3, enabled ? TRUE : FALSE);
        break;
    case vemor::Command::StopCapture:
        EnableMenuItem(File1, StopCapture1, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
        break;
    }
}

vemor::PortChoice TForm1::ChosenPort() const {
    return chooser_->Chosen();
}

void TForm1::ShowError(const std::string& text) {
    vemor::ShowErrorDisplay(text);
}

void TForm1::ShowBox(const std::string& text, const std::string& caption) {
    if (Caught(text, caption)) {
        return;
    }
    // Owned by the window, which takes no commands while it shows.
    const UINT style =
        caption == "GetLastError" ? MB_OKCANCEL | MB_ICONERROR : MB_OK | MB_ICONWARNING;
    MessageBoxA(Handle, text.c_str(), caption.c_str(), style);
}

// PostMessage is safe from any thread and keeps the order. Reader thread.
void TForm1::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    PostMessageA(Handle, message, wParam, lParam);
}

void TForm1::DiscardLineMessages() {
    static_assert(vemor::WM_LINEBACK == vemor::WM_LINELOST + 1);
    MSG m;
    while (PeekMessageA(&m, Handle, vemor::WM_LINELOST, vemor::WM_LINEBACK, PM_REMOVE)) {
    }
}

void TForm1::SetTicking(bool on) {
    if (on) {
        SetTimer(Handle, TickTimer, vemor::Session::TickMs, nullptr);
    } else {
        KillTimer(Handle, TickTimer);
    }
}

// The request belongs to this (the GUI) thread and ends with it.
void TForm1::HoldOffSleep(bool on) {
    const EXECUTION_STATE state = on ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS;
    sleepHeld_ = SetThreadExecutionState(state) != 0 && on;
}

// The passing messages take what the two fields leave; a field with nothing to say, no room.
void TForm1::LayoutStatus() {
    RECT bar{};
    GetClientRect(StatusBar1, &bar);
    std::array<int, 3> natural{};
    HDC dc = GetDC(StatusBar1);
    HGDIOBJ old = SelectObject(dc, font_);
    for (std::size_t i = 0; i < natural.size(); ++i) {
        const std::string& text = statusTexts_[i];
        SIZE size{};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        natural[i] = text.empty() ? 0 : size.cx + 16;
    }
    SelectObject(dc, old);
    ReleaseDC(StatusBar1, dc);
    const int grip = GetSystemMetrics(SM_CXVSCROLL);
    const std::array<int, 3> widths = vemor::StatusWidths(bar.right - grip, natural);
    int right[3];
    right[0] = widths[0];
    right[1] = widths[0] + widths[1];
    right[2] = -1; // to the end of the bar
    SendMessageA(StatusBar1, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(right));
    for (int i = 0; i < 3; ++i) {
        // Drawn here, so that a text cut short ends with dots; its tip is the whole text.
        const std::string& text = statusTexts_[static_cast<std::size_t>(i)];
        SendMessageA(StatusBar1, SB_SETTEXTA, static_cast<WPARAM>(i) | SBT_OWNERDRAW,
                     reinterpret_cast<LPARAM>(text.c_str()));
        if (i != 1) {
            SendMessageA(StatusBar1, SB_SETTIPTEXTA, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(text.c_str()));
        }
    }
}

void TForm1::DrawStatusPart(const DRAWITEMSTRUCT& item) {
    const char* text = reinterpret_cast<const char*>(item.itemData);
    if (text == nullptr) {
        return;
    }
    RECT r = item.rcItem;
    r.left += 2;
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(COLOR_BTNTEXT));
    HGDIOBJ old = SelectObject(item.hDC, font_);
    DrawTextA(item.hDC, text, -1, &r,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS | DT_LEFT);
    SelectObject(item.hDC, old);
}

void TForm1::ShowCaptureTip(const std::string& path) {
    if (captureTip_ != path) {
        captureTip_ = path;
        // The bar shows a part's tip where the part is too narrow for its text.
        SendMessageA(StatusBar1, SB_SETTIPTEXTA, 1, reinterpret_cast<LPARAM>(captureTip_.c_str()));
    }
}

void TForm1::SetStatusPart(int part, const std::string& text) {
    std::string& shown = statusTexts_[static_cast<std::size_t>(part)];
    if (shown == text) {
        return;
    }
    shown = text;
    LayoutStatus(); // every text's width shares the bar
}
