#pragma once
// A window's text, as the ANSI calls give it. GUI thread.

#include <windows.h>

#include <string>

namespace vemor {

inline std::string WindowText(HWND window) {
    const int n = GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    GetWindowTextA(window, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(n));
    return text;
}

} // namespace vemor
