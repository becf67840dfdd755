#pragma once
// A console the program is attached to may be closed, and logging off or shutting down ends a
// console's programs through it too: the window then finishes as for the end of a session
// before the system ends the process.

#include <windows.h>

namespace vemor {

// From now on a console's end reaches `window` (the GUI thread's) as WM_ENDSESSION.
void FinishWithConsole(HWND window);

// The handler the system calls on a thread of its own; for tests.
BOOL WINAPI OnConsoleEnd(DWORD event);

} // namespace vemor
