#include "Choice.h"

#include <algorithm>
#include <cstdint>

namespace vemor {

namespace {

constexpr WORD FirstId = 100;
// In dialog units.
constexpr short Margin = 7;
constexpr short ButtonWidth = 64;
constexpr short ButtonHeight = 14;
constexpr short Gap = 4;
constexpr short LineHeight = 9;
constexpr int CharsPerLine = 56;
constexpr short EditHeight = 12;
constexpr WORD EditId = 99;
constexpr int MaxTextLength = 1000;

// A dialog template in memory: words, aligned as the system reads them.
class Template {
public:
    void Word(WORD w) { words_.push_back(w); }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void Text(const std::string& text) {
        const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(std::max(n, 1)), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
        for (wchar_t c : wide) {
            Word(static_cast<WORD>(c));
        }
    }
    void AlignDword() {
        if (words_.size() % 2 != 0) {
            Word(0);
        }
    }
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom,
              const std::string& text) {
        AlignDword();
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        for (short v : {x, y, cx, cy}) {
            Word(static_cast<WORD>(v));
        }
        Word(id);
        Word(0xFFFF);
        Word(atom);
        Text(text);
        Word(0); // no creation data
    }
    const DLGTEMPLATE* Data() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    std::vector<WORD> words_;
};

// lParam: the identifier of the button that Enter presses at first.
INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_INITDIALOG:
        SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(l), 0);
        SetFocus(GetDlgItem(dialog, static_cast<int>(l)));
        return FALSE; // the focus is set
    case WM_COMMAND:
        if (HIWORD(w) == BN_CLICKED) {
            EndDialog(dialog, LOWORD(w));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

// The dialog's frame and font; its items follow.
void Heading(Template& t, const std::string& title, short items, short width, short height) {
    t.Dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    t.Dword(0);
    t.Word(static_cast<WORD>(items));
    for (short v : {short{0}, short{0}, width, height}) {
        t.Word(static_cast<WORD>(v));
    }
    t.Word(0); // no menu
    t.Word(0); // the dialog class
    t.Text(title);
    t.Word(8);
    t.Text("MS Shell Dlg");
}

// lParam: the std::string that takes the text on OK.
INT_PTR CALLBACK TextProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, l);
        SendDlgItemMessageA(dialog, EditId, EM_LIMITTEXT, MaxTextLength, 0);
        return TRUE; // the focus to the first item that takes it, the text
    case WM_COMMAND:
        if (LOWORD(w) == IDOK) {
            auto* text = reinterpret_cast<std::string*>(GetWindowLongPtrA(dialog, DWLP_USER));
            char buffer[MaxTextLength + 1] = {};
            const UINT n = GetDlgItemTextA(dialog, EditId, buffer, sizeof buffer);
            text->assign(buffer, n);
        }
        if (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) {
            EndDialog(dialog, LOWORD(w));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

std::optional<std::string> AskText(HWND owner, const std::string& title,
                                   const std::string& prompt) {
    const short width = 230 + 2 * Margin;
    const short editTop = Margin + LineHeight + Gap;
    const short buttonsTop = static_cast<short>(editTop + EditHeight + 2 * Gap);
    Template t;
    Heading(t, title, 4, width, static_cast<short>(buttonsTop + ButtonHeight + Margin));
    t.Item(SS_LEFT | SS_NOPREFIX, Margin, Margin, width - 2 * Margin, LineHeight, 0xFFFF, 0x0082,
           prompt);
    t.Item(WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, Margin, editTop, width - 2 * Margin, EditHeight,
           EditId, 0x0081, "");
    short x = static_cast<short>(width - Margin - 2 * ButtonWidth - Gap);
    t.Item(WS_TABSTOP | BS_DEFPUSHBUTTON, x, buttonsTop, ButtonWidth, ButtonHeight, IDOK, 0x0080,
           "OK");
    x = static_cast<short>(x + ButtonWidth + Gap);
    t.Item(WS_TABSTOP | BS_PUSHBUTTON, x, buttonsTop, ButtonWidth, ButtonHeight, IDCANCEL, 0x0080,
           "Cancel");
    std::string text;
    const INT_PTR chosen = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Data(), owner,
                                                   TextProc, reinterpret_cast<LPARAM>(&text));
    if (chosen != IDOK) {
        return std::nullopt;
    }
    return text;
}

int Choose(HWND owner, const std::string& title, const std::string& text,
           const std::vector<std::string>& buttons, int preselected) {
    const auto count = static_cast<short>(buttons.size());
    const short rowWidth = static_cast<short>(count * ButtonWidth + (count - 1) * Gap);
    const short width = static_cast<short>(std::max<int>(rowWidth, 230) + 2 * Margin);
    const auto lines = static_cast<short>(1 + std::count(text.begin(), text.end(), '\n') +
                                          text.size() / CharsPerLine);
    const short textHeight = static_cast<short>(lines * LineHeight);
    const short buttonsTop = static_cast<short>(Margin + textHeight + 2 * Gap);

    Template t;
    Heading(t, title, static_cast<short>(count + 1), width,
            static_cast<short>(buttonsTop + ButtonHeight + Margin));
    t.Item(SS_LEFT | SS_NOPREFIX, Margin, Margin, static_cast<short>(width - 2 * Margin),
           textHeight, 0xFFFF, 0x0082, text);
    short x = static_cast<short>(width - Margin - rowWidth);
    for (short i = 0; i < count; ++i) {
        const bool last = i + 1 == count;
        const WORD id = last ? IDCANCEL : static_cast<WORD>(FirstId + i);
        t.Item(WS_TABSTOP | (i == preselected ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), x, buttonsTop,
               ButtonWidth, ButtonHeight, id, 0x0080, buttons[static_cast<std::size_t>(i)]);
        x = static_cast<short>(x + ButtonWidth + Gap);
    }
    const INT_PTR chosen = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Data(), owner, Proc,
                                                   FirstId + preselected);
    return chosen >= FirstId && chosen < FirstId + count - 1 ? static_cast<int>(chosen - FirstId)
                                                             : -1;
}

} // namespace vemor
