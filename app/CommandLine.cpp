#include "CommandLine.h"

#include <QCoreApplication>

namespace {

const QString Program = QStringLiteral("vemor");

// The toolkit's own options (-platform offscreen, -style fusion, -reverse, ...). They stay in
// the arguments; the application object takes them out itself.
const char* const ToolkitValueOptions[] = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "style",         "stylesheet"};
const char* const ToolkitFlags[] = {"reverse", "widgetcount"};

} // namespace

CommandLine::CommandLine() {
    parser_.setApplicationDescription(
        QStringLiteral("Live-data monitor and raw logger for an engine control unit.\n"
                       "Choose the port, press Open to see the live values, Save File to record."));
    // Qt's convention for GUI programs: -platform is one option, not -p -l -a ...
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser_.addOption({{QStringLiteral("h"), QStringLiteral("help")},
                       QStringLiteral("Print this help and exit.")});
    parser_.addOption({{QStringLiteral("v"), QStringLiteral("version")},
                       QStringLiteral("Print the version and exit.")});
    for (const char* name : ToolkitValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser_.addOption(option);
    }
    for (const char* name : ToolkitFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser_.addOption(option);
    }
    parser_.addPositionalArgument(
        QStringLiteral("capture"),
        QStringLiteral("A capture file to show in a viewer window of its own, beside the "
                       "monitor; several may be given."),
        QStringLiteral("[capture...]"));
}

CommandLine::Action CommandLine::Parse(const QStringList& arguments) {
    if (!parser_.parse(arguments)) {
        error_ = parser_.errorText();
        return Action::Error;
    }
    operands_ = parser_.positionalArguments();
    if (parser_.isSet(QStringLiteral("help"))) {
        return Action::Help;
    }
    if (parser_.isSet(QStringLiteral("version"))) {
        return Action::Version;
    }
    return Action::RunWindow;
}

CommandLine::Reply CommandLine::Answer(Action action) const {
    switch (action) {
    case Action::Help:
        return {0, parser_.helpText(), {}};
    case Action::Version:
        return {0, Program + QLatin1Char(' ') + QStringLiteral(VEMOR_VERSION "\n"), {}};
    case Action::Error:
        return {ExitUsage,
                {},
                Program + QStringLiteral(": ") + error_ +
                    QStringLiteral(" vemor --help lists the options.\n")};
    case Action::RunWindow:
        break;
    }
    return {};
}

QStringList ArgumentList(int argc, char** argv) {
    QStringList list;
    for (int i = 0; i < argc; ++i) {
        list << QString::fromLocal8Bit(argv[i]);
    }
    return list;
}
