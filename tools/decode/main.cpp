#include "Cli.h"

#include <cerrno>
#include <csignal>
#include <span>
#include <string>
#include <system_error>

#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // The same bytes as on every system: no carriage return before each line end.
    _setmode(STDOUT_FILENO, _O_BINARY);
    _setmode(STDERR_FILENO, _O_BINARY);
#else
    // A closed pipe must come back as EPIPE, so that the end stays in our hands: quiet, with
    // the status of the signal, as other tools end.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    vemor::decode::FdWriter out(STDOUT_FILENO, "standard output");
    vemor::decode::FdWriter err(STDERR_FILENO, "standard error");
    const std::span<const char* const> args(argv + 1,
                                            static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
    int status = vemor::decode::RunCli(args, out, err);
#ifndef _WIN32
    if (status == vemor::decode::ExitBrokenPipe) {
        std::signal(SIGPIPE, SIG_DFL);
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigprocmask(SIG_UNBLOCK, &pipe, nullptr);
        std::raise(SIGPIPE);
        return status;
    }
#endif

    // Some file systems report a failed write only when the file is closed.
    if (::close(STDOUT_FILENO) != 0 && errno != EINTR && status == vemor::decode::ExitOk) {
        const std::string text = "vemor-decode: cannot write to standard output: " +
                                 std::generic_category().message(errno) + "\n";
        (void)err.Write(text.data(), text.size());
        status = vemor::decode::ExitFailure;
    }
    return status;
}
