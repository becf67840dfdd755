#pragma once
// The program's command line in Qt's strings, over the one every front end reads. It is read
// before any application object exists, so --help and --version answer without a display,
// and a mistyped option is refused before a window opens. The toolkit's own options are
// accepted and left for the application object.

#include "vemor/CommandLine.h"

#include <QString>
#include <QStringList>

class CommandLine {
public:
    using Action = vemor::CommandLine::Action;

    struct Reply {
        int exitCode = 0;
        QString out; // for standard output
        QString err; // for standard error
    };

    CommandLine();

    // arguments: the whole command line, the program's name first.
    Action Parse(const QStringList& arguments);
    // What to print and the exit status for an action other than RunWindow.
    Reply Answer(Action action) const;
    // The capture files to open, in the order given.
    QStringList Operands() const;

private:
    vemor::CommandLine parser_;
};

using vemor::ExitUsage;

// argv as Qt would see it, without an application object.
QStringList ArgumentList(int argc, char** argv);
