#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

using Action = CommandLine::Action;

struct Case {
    const char* name;
    QStringList arguments; // after the program's name
    Action action;
    const char* text; // expected in the answer: standard output for 0, standard error for 2
    QStringList operands = {};
};

class CommandLineTest : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineTest, AnswersOnTheRightStreamWithTheRightStatus) {
    const Case& c = GetParam();
    CommandLine commandLine;
    const Action action = commandLine.Parse(QStringList{QStringLiteral("vemor")} + c.arguments);
    ASSERT_EQ(action, c.action);
    if (action == Action::RunWindow) {
        EXPECT_EQ(commandLine.Operands(), c.operands);
        return;
    }
    const CommandLine::Reply reply = commandLine.Answer(action);
    const bool error = action == Action::Error;
    EXPECT_EQ(reply.exitCode, error ? ExitUsage : 0);
    const QString& said = error ? reply.err : reply.out;
    EXPECT_TRUE((error ? reply.out : reply.err).isEmpty());
    EXPECT_TRUE(said.contains(QString::fromUtf8(c.text))) << said.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineTest,
    ::testing::Values(
        Case{"Nothing", {}, Action::RunWindow, ""},
        Case{"LongHelp", {"--help"}, Action::Help, "-v, --version"},
        Case{"ShortHelp", {"-h"}, Action::Help, "-h, --help"},
        Case{"LongVersion", {"--version"}, Action::Version, "vemor " VEMOR_VERSION "\n"},
        Case{"ShortVersion", {"-v"}, Action::Version, "vemor " VEMOR_VERSION "\n"},
        Case{"UnknownOption", {"--bogus"}, Action::Error, "vemor: Unknown option 'bogus'"},
        Case{"UnknownOptionBeatsVersion", {"--version", "-x"}, Action::Error, "--help lists"},
        Case{"Captures", {"TMP1.$$$", "--", "-odd"}, Action::RunWindow, "", {"TMP1.$$$", "-odd"}},
        Case{"HelpBeatsCaptures", {"TMP1.$$$", "-h"}, Action::Help, "[capture...]"},
        // The toolkit's options are left for the application object.
        Case{"ToolkitOptionWithValue", {"-platform", "offscreen"}, Action::RunWindow, ""},
        Case{"ToolkitOptionJoined", {"-style=fusion", "-v"}, Action::Version, "vemor "},
        Case{"ToolkitFlag", {"-reverse"}, Action::RunWindow, ""}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

TEST(CommandLine, HelpHidesToolkitOptions) {
    CommandLine commandLine;
    ASSERT_EQ(commandLine.Parse({QStringLiteral("vemor"), QStringLiteral("--help")}), Action::Help);
    EXPECT_FALSE(commandLine.Answer(Action::Help).out.contains(QStringLiteral("platform")));
}

} // namespace
