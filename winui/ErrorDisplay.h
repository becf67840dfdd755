#pragma once
// The error display: what a handler fails with is shown in a modal box with the stop icon
// and OK, captioned with the application's title; then the message loop goes on. GUI thread.

#include "vemor/Handler.h"

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

// Runs a handler and shows what it fails with in the error display.
template <class Handler>
void RunHandler(Handler&& handler) noexcept {
    RunHandler(handler, [](std::string_view what) { ShowErrorDisplay(std::string(what)); });
}

} // namespace vemor
