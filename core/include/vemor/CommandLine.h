#pragma once
// The monitor's command line, whatever window follows: -h/--help, -v/--version and the
// capture files to open, each in a viewer of its own. A front end may name options that its
// toolkit takes out itself; they are accepted, and left out of the help. Read before any
// window exists, so that --help and --version answer without a display.

#include <string>
#include <vector>

namespace vemor {

inline constexpr int ExitUsage = 2;

class CommandLine {
public:
    enum class Action { RunWindow, Help, Version, Error };

    struct Reply {
        int exitCode = 0;
        std::string out; // for standard output
        std::string err; // for standard error
    };

    // toolkitValues take a value (-name value or -name=value); toolkitFlags none.
    explicit CommandLine(std::vector<std::string> toolkitValues = {},
                         std::vector<std::string> toolkitFlags = {});

    // arguments: the whole command line, the program's name first.
    Action Parse(const std::vector<std::string>& arguments);
    // What to say and the exit status for an action other than RunWindow; the help names the
    // program as its first argument did.
    Reply Answer(Action action, const std::string& version) const;
    // The capture files to open, in the order given.
    const std::vector<std::string>& Operands() const { return operands_; }

private:
    std::vector<std::string> toolkitValues_;
    std::vector<std::string> toolkitFlags_;
    std::string program_ = "vemor";
    std::string error_;
    std::vector<std::string> operands_;
    bool help_ = false;
    bool version_ = false;
};

} // namespace vemor
