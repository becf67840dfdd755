#pragma once
// Runs an operator's handler and hands what it fails with to `show`, so that no exception
// unwinds through a toolkit's event dispatch. GUI thread.

#include <exception>
#include <string_view>

namespace vemor {

template <class Handler, class Show>
void RunHandler(Handler&& handler, Show&& show) noexcept {
    try {
        handler();
    } catch (const std::exception& e) {
        show(std::string_view(e.what()));
    } catch (...) {
        show(std::string_view("Unknown error"));
    }
}

} // namespace vemor
