// The application entry: create the main window, run the message loop, show what escapes.
#include "ConsoleEnd.h"
#include "DocumentsFolder.h"
#include "ErrorDisplay.h"
#include "Main.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    std::string folderFailure;
    for (int i = 1; i < __argc; ++i) {
        if (std::strcmp(__argv[i], vemor::DocumentsOption) == 0) {
            folderFailure = vemor::EnterDocumentsFolder();
        }
    }
    try {
        try {
            Form1 = new TForm1(instance);
            Form1->QuitOnDestroy = true;
            Form1->Show(show);
            vemor::FinishWithConsole(Form1->Handle);
            if (!folderFailure.empty()) {
                vemor::ShowErrorDisplay(folderFailure);
            }
            MSG message;
            while (GetMessageA(&message, nullptr, 0, 0) > 0) {
                // Tab and the arrow keys move between the controls, as in a dialog.
                if (!IsDialogMessageA(Form1->Handle, &message)) {
                    TranslateMessage(&message);
                    DispatchMessageA(&message);
                }
            }
        } catch (const std::exception& e) {
            vemor::ShowErrorDisplay(e.what());
        }
        // Ends the reader and finishes a running capture if the window is still there.
        delete Form1;
        Form1 = nullptr;
    } catch (...) {
        // Nothing is left to show it with; the exit code stays 0 in every case.
    }
    return 0;
}
