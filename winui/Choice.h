#pragma once
// A modal question with buttons of its own words, where a message box has only Yes and No:
// the text, then the buttons in a row, the last of them the cancel (Esc, the close box); and
// a modal line of text to type. Both run the system's modal loop, which goes on dispatching
// what is posted to the thread's other windows. GUI thread.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace vemor {

// The index of the button pressed, or -1 for the last one, Esc or the close box; Enter
// presses the button of index `preselected`.
int Choose(HWND owner, const std::string& title, const std::string& text,
           const std::vector<std::string>& buttons, int preselected = 0);

// The text typed under `prompt` on OK (Enter), nothing on Cancel (Esc, the close box).
std::optional<std::string> AskText(HWND owner, const std::string& title, const std::string& prompt);

} // namespace vemor
