#pragma once
// A modal question with buttons of its own words, where a message box has only Yes and No:
// the text, then the buttons in a row, the last of them the cancel (Esc, the close box).
// GUI thread.

#include <windows.h>

#include <string>
#include <vector>

namespace vemor {

// The index of the button pressed, or -1 for the last one, Esc or the close box.
int Choose(HWND owner, const std::string& title, const std::string& text,
           const std::vector<std::string>& buttons);

} // namespace vemor
