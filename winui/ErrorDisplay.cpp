#include "ErrorDisplay.h"

#include "vemor/Messages.h"

#include <windows.h>

namespace vemor {

namespace {

ErrorBox& CurrentBox() {
    static ErrorBox box = [](const std::string& title, const std::string& text) {
        // The active window of this thread owns the box, so it stays in front of it.
        MessageBoxA(GetActiveWindow(), text.c_str(), title.c_str(), MB_OK | MB_ICONSTOP);
    };
    return box; // GUI thread only
}

} // namespace

std::string ApplicationTitle() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name(path, n < sizeof path ? n : 0);
    name = name.substr(name.find_last_of("\\/") + 1);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

void ShowErrorDisplay(const std::string& message) {
    CurrentBox()(ApplicationTitle(), WithFullStop(message));
}

ErrorBox SetErrorBox(ErrorBox box) {
    ErrorBox previous = std::move(CurrentBox());
    CurrentBox() = std::move(box);
    return previous;
}

} // namespace vemor
