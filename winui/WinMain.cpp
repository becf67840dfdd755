// The application entry: read the command line, create the main window and a viewer for each
// capture named, run the message loop, show what escapes.
#include "ConsoleEnd.h"
#include "DocumentsFolder.h"
#include "ErrorDisplay.h"
#include "Main.h"
#include "Start.h"
#include "Viewer.h"

#include <windows.h>

#include <cstdlib>
#include <exception>
#include <string>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    const vemor::Start start = vemor::ReadCommandLine(__argc, __argv);
    if (!start.run) {
        return start.exitCode;
    }
    const std::string folderFailure = start.inDocuments ? vemor::EnterDocumentsFolder() : "";
    try {
        try {
            Form1 = new TForm1(instance);
            Form1->QuitOnDestroy = true;
            Form1->Show(show);
            vemor::FinishWithConsole(Form1->Handle);
            if (!folderFailure.empty()) {
                vemor::ShowErrorDisplay(folderFailure);
            }
            for (const std::string& capture : start.captures) {
                vemor::ViewerWindow::Open(capture, Form1->Handle);
            }
            MSG message;
            while (GetMessageA(&message, nullptr, 0, 0) > 0) {
                // Tab and the arrow keys move between the controls, as in a dialog.
                if (!Form1->TranslateKeys(&message) && !IsDialogMessageA(Form1->Handle, &message)) {
                    TranslateMessage(&message);
                    DispatchMessageA(&message);
                }
            }
        } catch (const std::exception& e) {
            vemor::ShowErrorDisplay(e.what());
        }
        // Ends the reader and finishes a running capture if the window is still there.
        vemor::ViewerWindow::CloseAll();
        delete Form1;
        Form1 = nullptr;
    } catch (...) {
        // Nothing is left to show it with; the exit code stays 0 in every case.
    }
    return 0;
}
