#include "Main.h"
#include "Application.h"
#include "ErrorDisplay.h"

#include <exception>

int main(int argc, char** argv) {
    try {
        TApplication app(argc, argv);
        InstallSerialErrorBox();
        try {
            Form1 = new TForm1;
            Form1->show();
            TApplication::exec();
        } catch (const std::exception& e) {
            vemor::ShowErrorDisplay(e);
        }
        // The window goes while the application object still exists, so that a running
        // capture is finished and the reader stopped.
        delete Form1;
        Form1 = nullptr;
    } catch (...) {
        // Nothing is left to show it with; the exit code stays 0 in every case.
    }
    return 0;
}
