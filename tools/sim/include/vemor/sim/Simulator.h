#pragma once
// The simulator's run: one thread, every wait a ppoll that also takes the signals.

#include "vemor/sim/Options.h"

#include <cstdio>

namespace vemor::sim {

// SIGINT, SIGTERM and SIGHUP stop the run; SIGUSR1 releases --hold. The four are blocked
// outside the run's waits, so they only arrive where the run expects them. Call once, first.
void InstallSignalHandlers();

// Runs until the data ends, a signal stops it, or setup fails; reports on out (one line per
// event) and err. Returns the exit status: 0, or 1 when setup or the --sent record failed.
int RunSimulator(const Options& options, std::FILE* out, std::FILE* err);

} // namespace vemor::sim
