#include "vemor/sim/Options.h"
#include "vemor/sim/Simulator.h"

#include <cstdio>
#include <span>
#include <string>

int main(int argc, char** argv) {
    // Before anything else: a SIGUSR1 sent early must not end the process.
    vemor::sim::InstallSignalHandlers();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    const std::span<const char* const> args(argv + 1,
                                            static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
    vemor::sim::Options options;
    std::string error;
    if (!vemor::sim::ParseOptions(args, options, error)) {
        std::fprintf(stderr, "vemor-sim: %s (vemor-sim --help lists the options)\n", error.c_str());
        return 2;
    }
    if (options.Help) {
        std::fputs(vemor::sim::Usage, stdout);
        return 0;
    }
    return vemor::sim::RunSimulator(options, stdout, stderr);
}
