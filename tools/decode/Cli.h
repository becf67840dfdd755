#pragma once
// The command line of vemor-decode, apart from the process, so tests can drive it.

#include "vemor/capture/Output.h"

#include <span>

namespace vemor::decode {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1; // unreadable or short input, failed output
inline constexpr int ExitUsage = 2;
// The reader of standard output went away: quiet, with the status of a process that the
// broken pipe's signal ended, as other tools have it.
inline constexpr int ExitBrokenPipe = 128 + 13;

// args: the arguments after the program name. Returns the exit status.
int RunCli(std::span<const char* const> args, Writer& out, Writer& err);

} // namespace vemor::decode
