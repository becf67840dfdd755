// The command line as a front end without toolkit options reads it (the Win32 one); the Qt
// program's adapter, with its toolkit's options, has its own test.
#include "vemor/CommandLine.h"

#include <gtest/gtest.h>

namespace vemor {
namespace {

using Action = CommandLine::Action;

TEST(CommandLine, OptionsOperandsAndAnswers) {
    struct Case {
        std::vector<std::string> arguments; // after the program's name
        Action action;
        std::string said; // on standard output for 0, standard error for 2
        std::vector<std::string> operands = {};
    };
    const Case cases[] = {
        {{"TMP1.$$$", "C:\\caps\\TMP2.$$$"},
         Action::RunWindow,
         "",
         {"TMP1.$$$", "C:\\caps\\TMP2.$$$"}},
        {{"--", "-odd", "--help"}, Action::RunWindow, "", {"-odd", "--help"}},
        {{"-"}, Action::RunWindow, "", {"-"}},
        {{"TMP1.$$$", "--help"}, Action::Help, "Usage: vemor.exe [options] [capture...]\n"},
        {{"-v"}, Action::Version, "vemor 1.2.3\n"},
        {{"--version", "-platform", "x"},
         Action::Error,
         "vemor: Unknown option 'platform'. vemor --help lists the options.\n"},
        {{"--help=yes"}, Action::Error, "vemor: Unexpected value after '--help'."},
        {{"-hv"}, Action::Error, "vemor: Unknown option 'hv'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        CommandLine line;
        std::vector<std::string> all = {"vemor.exe"};
        all.insert(all.end(), c.arguments.begin(), c.arguments.end());
        const Action action = line.Parse(all);
        ASSERT_EQ(action, c.action);
        if (action == Action::RunWindow) {
            EXPECT_EQ(line.Operands(), c.operands);
            continue;
        }
        const CommandLine::Reply reply = line.Answer(action, "1.2.3");
        const bool error = action == Action::Error;
        EXPECT_EQ(reply.exitCode, error ? ExitUsage : 0);
        EXPECT_EQ((error ? reply.err : reply.out).find(c.said), 0u) << reply.out << reply.err;
        EXPECT_TRUE((error ? reply.out : reply.err).empty());
    }
}

} // namespace
} // namespace vemor
