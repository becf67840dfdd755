#pragma once
// Texts of the messages that reach the operator.

#include <string>
#include <string_view>

namespace vemor {

// The error display appends a full stop when the message is not empty and its last
// character sorts after the full stop, so "... busy" gets one and "... busy!" does not.
std::string WithFullStop(std::string_view message);

// A system text without trailing blanks, line breaks and periods.
std::string TrimSystemText(std::string_view text);

// "Cannot create file "<path>". <system text>"
std::string CannotCreateFileMessage(std::string_view fullPath, std::string_view systemText);

} // namespace vemor
