#include "vemor/Messages.h"

namespace vemor {

std::string WithFullStop(std::string_view message) {
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
        text.push_back('.');
    }
    return text;
}

std::string TrimSystemText(std::string_view text) {
    const std::size_t end = text.find_last_not_of(" \t\r\n.");
    return std::string(text.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

std::string CannotCreateFileMessage(std::string_view fullPath, std::string_view systemText) {
    std::string text = "Cannot create file \"";
    text += fullPath;
    text += "\". ";
    text += TrimSystemText(systemText);
    return text;
}

} // namespace vemor
