#pragma once
// The fonts of the Win32 windows: "MS Sans Serif" 8 points for the controls, and 12 points
// bold for the value labels, at the screen's dots per inch. The caller owns what it creates.
// GUI thread.

#include <windows.h>

namespace vemor {

inline HFONT CreateDesignFont(int pixelsAt96, int weight, int dpi) {
    return CreateFontA(-MulDiv(pixelsAt96, dpi, 96), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                       ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
}

inline HFONT CreateControlFont(int dpi = 96) {
    return CreateDesignFont(11, FW_NORMAL, dpi);
}

inline HFONT CreateLabelFont(int dpi = 96) {
    return CreateDesignFont(16, FW_BOLD, dpi);
}

} // namespace vemor
