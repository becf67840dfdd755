#pragma once
// Texts of the messages that reach the operator.

#include <cstdint>
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

// "Cannot finish file "<path>"; its header may lack the stop time. <system text>"
std::string CannotFinishFileMessage(std::string_view fullPath, std::string_view systemText);

// "812 B", "1.2 kB", "1.2 MB", "3.4 GB": decimal units, one decimal from a thousand bytes on.
std::string ByteCountText(std::uint64_t bytes, char decimalSeparator);

// "04:12" below an hour, "1:04:12" from an hour on.
std::string ElapsedText(std::uint64_t seconds);

// "Capturing to TMP3.$$$ - 1.2 MB, 04:12"
std::string CapturingText(std::string_view name, std::uint64_t bytes, std::uint64_t seconds,
                          char decimalSeparator);

// "Saved /home/user/TMP3.$$$ (1.2 MB, 04:12)"
std::string SavedText(std::string_view fullPath, std::uint64_t bytes, std::uint64_t seconds,
                      char decimalSeparator);

} // namespace vemor
