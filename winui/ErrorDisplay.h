#pragma once
// The error display: what a handler fails with is shown in a modal box with the stop icon
// and OK, captioned with the application's title; then the message loop goes on. GUI thread.

#include <exception>
#include <functional>
#include <string>

namespace vemor {

// Applies the full-stop rule and shows the box.
void ShowErrorDisplay(const std::string& message);

// The application's title: the program's file name without its extension ("vemor").
std::string ApplicationTitle();

// Replaces the box (tests capture the text); returns the previous one.
using ErrorBox = std::function<void(const std::string& title, const std::string& text)>;
ErrorBox SetErrorBox(ErrorBox box);

// Runs a handler and shows what it fails with, so that no exception unwinds through the
// window procedure.
template <class Handler>
void RunHandler(Handler&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowErrorDisplay(e.what());
    } catch (...) {
        ShowErrorDisplay("Unknown error");
    }
}

} // namespace vemor
