#pragma once
// The error display: what a handler fails with is shown in a modal box with the stop icon
// and OK, captioned with the application's title; then the event loop goes on. GUI thread.

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

// Runs a handler and shows what it fails with, so that no exception unwinds through Qt.
template <class Handler>
void RunHandler(Handler&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowErrorDisplay(e);
    } catch (...) {
        ShowErrorDisplay(QStringLiteral("Unknown error"));
    }
}

} // namespace vemor
