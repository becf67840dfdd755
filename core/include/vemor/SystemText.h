#pragma once
// The running system's own text for one of its error codes. Any thread.

#include <string>

namespace vemor {

// The text as the system gives it for errno (POSIX) or GetLastError (Windows), without the
// line break Windows ends it with; empty when the system has none.
std::string SystemErrorText(int err);

// The same without trailing blanks, line breaks and periods, to go inside a sentence.
std::string SystemText(int err);

} // namespace vemor
