#include "vemor/CommandLine.h"

#include <algorithm>

namespace vemor {

namespace {

constexpr const char* Help = "Live-data monitor and raw logger for an engine control unit.\n"
                             "Choose the port, press Open to see the live values, Save File to "
                             "record.\n"
                             "\n"
                             "Options:\n"
                             "  -h, --help     Print this help and exit.\n"
                             "  -v, --version  Print the version and exit.\n"
                             "\n"
                             "Arguments:\n"
                             "  capture        A capture file to show in a viewer window of its "
                             "own, beside\n"
                             "                 the monitor; several may be given.\n";

bool Has(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

CommandLine::CommandLine(std::vector<std::string> toolkitValues,
                         std::vector<std::string> toolkitFlags)
    : toolkitValues_(std::move(toolkitValues)), toolkitFlags_(std::move(toolkitFlags)) {}

CommandLine::Action CommandLine::Parse(const std::vector<std::string>& arguments) {
    operands_.clear();
    error_.clear();
    help_ = version_ = false;
    if (!arguments.empty()) {
        program_ = arguments[0];
    }
    bool options = true;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (!options || a.size() < 2 || a[0] != '-') {
            operands_.push_back(a);
            continue;
        }
        if (a == "--") {
            options = false;
            continue;
        }
        // One dash or two, a word either way: -platform is one option, not -p -l -a ...
        std::string name = a.substr(a[1] == '-' ? 2 : 1);
        const std::size_t equals = name.find('=');
        const bool joined = equals != std::string::npos;
        if (joined) {
            name.resize(equals);
        }
        if (Has(toolkitValues_, name)) {
            if (!joined && ++i == arguments.size()) {
                error_ = "Missing value after '" + a + "'.";
                return Action::Error;
            }
            continue;
        }
        const bool known = name == "h" || name == "help" || name == "v" || name == "version" ||
                           Has(toolkitFlags_, name);
        if (!known) {
            error_ = "Unknown option '" + name + "'.";
            return Action::Error;
        }
        if (joined) {
            error_ = "Unexpected value after '" + a.substr(0, a.find('=')) + "'.";
            return Action::Error;
        }
        help_ = help_ || name == "h" || name == "help";
        version_ = version_ || name == "v" || name == "version";
    }
    return help_ ? Action::Help : version_ ? Action::Version : Action::RunWindow;
}

CommandLine::Reply CommandLine::Answer(Action action, const std::string& version) const {
    switch (action) {
    case Action::Help:
        return {0, "Usage: " + program_ + " [options] [capture...]\n" + Help, {}};
    case Action::Version:
        return {0, "vemor " + version + "\n", {}};
    case Action::Error:
        return {ExitUsage, {}, "vemor: " + error_ + " vemor --help lists the options.\n"};
    case Action::RunWindow:
        break;
    }
    return {};
}

} // namespace vemor
