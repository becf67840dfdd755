#pragma once
// The fonts of the Win32 windows: "MS Sans Serif" 8 points for the controls, and 12 points
// bold for the value labels. The caller owns what it creates. GUI thread.

#include <windows.h>

namespace vemor {

inline HFONT CreateControlFont() {
    return CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
}

inline HFONT CreateLabelFont() {
    return CreateFontA(-16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       "MS Sans Serif");
}

} // namespace vemor
