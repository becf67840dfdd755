// A monitor that opens COM10 and captures, reporting how many bytes it has written to its
// capture file, so that a test can kill it or end it at a known point. Off screen unless
// QT_QPA_PLATFORM says otherwise; with VEMOR_CHILD_BOX set, a modal box stays open meanwhile.
#include "Application.h"
#include "Main.h"

#include <QMessageBox>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TApplication app(argc, argv);
    Form1 = new TForm1;
    Form1->Button1Click(nullptr);
    if (SerialThread == nullptr) {
        std::printf("open failed\n");
        return 1;
    }
    Form1->Button2Click(nullptr);
    std::printf("capturing %s\n", Form1->CaptureStream->Name().c_str());
    std::fflush(stdout);
    std::uint64_t reported = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const std::uint64_t now = Form1->CaptureStream->BodyBytes();
        if (now != reported) {
            reported = now;
            std::printf("%llu\n", static_cast<unsigned long long>(now));
            std::fflush(stdout);
        }
    });
    poll.start(2);
    if (!qgetenv("VEMOR_CHILD_BOX").isEmpty()) {
        QTimer::singleShot(0, [] {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("vemor"), QStringLiteral("open"));
            box.exec();
        });
    }
    const int status = TApplication::exec();
    // As the program does: the window goes while the application still exists.
    delete Form1;
    Form1 = nullptr;
    std::printf("ended\n");
    return status;
}
