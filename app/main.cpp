#include "Main.h"
#include "Application.h"
#include "CaptureViewer.h"
#include "CommandLine.h"
#include "ErrorDisplay.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <exception>

namespace {

void Print(const QString& text, std::FILE* stream) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.data(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

} // namespace

int main(int argc, char** argv) {
    CommandLine commandLine;
    const CommandLine::Action action = commandLine.Parse(ArgumentList(argc, argv));
    if (action != CommandLine::Action::RunWindow) {
        const CommandLine::Reply reply = commandLine.Answer(action);
        Print(reply.out, stdout);
        Print(reply.err, stderr);
        if (std::fflush(stdout) != 0) {
            std::perror("vemor: standard output");
            return 1;
        }
        return reply.exitCode;
    }

    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VEMOR_APP_ID));
    // A file-size limit reached by a capture is told like a full disk, not fatal.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        TApplication app(argc, argv);
        try {
            Form1 = new TForm1;
            Form1->show();
            for (const QString& capture : commandLine.Operands()) {
                vemor::CaptureViewer::Open(capture, Form1);
            }
            TApplication::exec();
        } catch (const std::exception& e) {
            vemor::ShowErrorDisplay(e);
        }
        // The windows go while the application object still exists, so that a running
        // capture is finished and the reader stopped.
        vemor::CaptureViewer::CloseAll();
        delete Form1;
        Form1 = nullptr;
    } catch (...) {
        // Nothing is left to show it with; the exit code stays 0 in every case.
    }
    return 0;
}
