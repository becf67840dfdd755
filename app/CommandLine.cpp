#include "CommandLine.h"

namespace {

// The toolkit's own options (-platform offscreen, -style fusion, -reverse, ...). They stay in
// the arguments; the application object takes them out itself.
std::vector<std::string> ToolkitValueOptions() {
    return {"platform",        "platformpluginpath", "platformtheme", "plugin",
            "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
            "display",         "geometry",           "style",         "stylesheet"};
}

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CommandLine::CommandLine() : parser_(ToolkitValueOptions(), {"reverse", "widgetcount"}) {}

CommandLine::Action CommandLine::Parse(const QStringList& arguments) {
    std::vector<std::string> list;
    for (const QString& a : arguments) {
        list.push_back(a.toLocal8Bit().toStdString());
    }
    return parser_.Parse(list);
}

CommandLine::Reply CommandLine::Answer(Action action) const {
    const vemor::CommandLine::Reply r = parser_.Answer(action, VEMOR_VERSION);
    return {r.exitCode, Local(r.out), Local(r.err)};
}

QStringList CommandLine::Operands() const {
    QStringList list;
    for (const std::string& o : parser_.Operands()) {
        list << Local(o);
    }
    return list;
}

QStringList ArgumentList(int argc, char** argv) {
    QStringList list;
    for (int i = 0; i < argc; ++i) {
        list << QString::fromLocal8Bit(argv[i]);
    }
    return list;
}
