#pragma once
// The error display: what a handler fails with is shown in a modal box with the stop icon
// and OK, captioned with the application's title; then the event loop goes on. GUI thread.

#include "vemor/Handler.h"

#include <QString>

#include <exception>
#include <functional>

namespace vemor {

// Applies the full-stop rule and shows the box.
void ShowErrorDisplay(const QString& message);
void ShowErrorDisplay(const std::exception& error);

// Replaces the box (tests capture the text); returns the previous one.
using ErrorBox = std::function<void(const QString& title, const QString& text)>;
ErrorBox SetErrorBox(ErrorBox box);

// Runs a handler and shows what it fails with in the error display.
template <class Handler>
void RunHandler(Handler&& handler) noexcept {
    RunHandler(handler, [](std::string_view what) {
        ShowErrorDisplay(QString::fromLocal8Bit(what.data(), static_cast<qsizetype>(what.size())));
    });
}

} // namespace vemor
