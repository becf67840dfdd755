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

namespace {

// <verb> file "<path>"<middle><system text>
std::string FileMessage(std::string_view verb, std::string_view fullPath, std::string_view middle,
                        std::string_view systemText) {
    std::string text(verb);
    text += " file \"";
    text += fullPath;
    text += '"';
    text += middle;
    text += TrimSystemText(systemText);
    return text;
}

} // namespace

std::string CannotCreateFileMessage(std::string_view fullPath, std::string_view systemText) {
    return FileMessage("Cannot create", fullPath, ". ", systemText);
}

std::string CannotFinishFileMessage(std::string_view fullPath, std::string_view systemText) {
    return FileMessage("Cannot finish", fullPath, "; its header may lack the stop time. ",
                       systemText);
}

std::string ByteCountText(std::uint64_t bytes, char decimalSeparator) {
    if (bytes < 1000) {
        return std::to_string(bytes) + " B";
    }
    static const char* const units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    std::uint64_t unit = 1000;
    for (const char* name : units) {
        // Tenths, rounded; a value that rounds up to 1000 moves on to the next unit.
        const std::uint64_t tenths = (bytes / (unit / 10)) + (bytes % (unit / 10) >= unit / 20);
        if (tenths < 10000 || unit == 1'000'000'000'000'000'000ULL) {
            return std::to_string(tenths / 10) + decimalSeparator + std::to_string(tenths % 10) +
                   ' ' + name;
        }
        unit *= 1000;
    }
    return {};
}

std::string ElapsedText(std::uint64_t seconds) {
    const std::uint64_t hours = seconds / 3600;
    const auto two = [](std::uint64_t v) {
        return std::string{static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
    };
    std::string text = two(seconds / 60 % 60) + ":" + two(seconds % 60);
    return hours > 0 ? std::to_string(hours) + ":" + text : text;
}

std::string CapturingText(std::string_view name, std::uint64_t bytes, std::uint64_t seconds,
                          char decimalSeparator) {
    std::string text = "Capturing to ";
    text += name;
    text += " - " + ByteCountText(bytes, decimalSeparator) + ", " + ElapsedText(seconds);
    return text;
}

std::string SavedText(std::string_view fullPath, std::uint64_t bytes, std::uint64_t seconds,
                      char decimalSeparator) {
    std::string text = "Saved ";
    text += fullPath;
    text += " (" + ByteCountText(bytes, decimalSeparator) + ", " + ElapsedText(seconds) + ")";
    return text;
}

} // namespace vemor
