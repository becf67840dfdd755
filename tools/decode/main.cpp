#include "vemor/decode/Cli.h"

#include <cerrno>
#include <csignal>
#include <span>
#include <string>
#include <system_error>

#include <unistd.h>

int main(int argc, char** argv) {
    // A closed pipe must come back as EPIPE and be reported, not end the process silently.
    std::signal(SIGPIPE, SIG_IGN);

    vemor::decode::FdWriter out(STDOUT_FILENO, "standard output");
    vemor::decode::FdWriter err(STDERR_FILENO, "standard error");
    const std::span<const char* const> args(argv + 1,
                                            static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
    int status = vemor::decode::RunCli(args, out, err);

    // Some file systems report a failed write only when the file is closed.
    if (::close(STDOUT_FILENO) != 0 && errno != EINTR && status == vemor::decode::ExitOk) {
        const std::string text = "vemor-decode: cannot write to standard output: " +
                                 std::generic_category().message(errno) + "\n";
        (void)err.Write(text.data(), text.size());
        status = vemor::decode::ExitFailure;
    }
    return status;
}
