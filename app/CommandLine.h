#pragma once
// The program's command line. It is read before any application object exists, so --help and
// --version answer without a display, and a mistyped option is refused before a window opens.

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

class CommandLine {
public:
    enum class Action { RunWindow, Help, Version, Error };

    struct Reply {
        int exitCode = 0;
        QString out; // for standard output
        QString err; // for standard error
    };

    CommandLine();

    // arguments: the whole command line, the program's name first.
    Action Parse(const QStringList& arguments);
    // What to print and the exit status for an action other than RunWindow. The help names the
    // program as the application object's first argument, when one exists.
    Reply Answer(Action action) const;
    // The capture files to open, in the order given.
    QStringList Operands() const { return operands_; }

private:
    QCommandLineParser parser_;
    QString error_;
    QStringList operands_;
};

inline constexpr int ExitUsage = 2;

// argv as Qt would see it, without an application object.
QStringList ArgumentList(int argc, char** argv);
