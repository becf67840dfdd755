#include "Start.h"

#include "DocumentsFolder.h"

#include "vemor/CommandLine.h"

#include <windows.h>

namespace vemor {

namespace {

bool WriteAll(HANDLE to, const std::string& text) {
    DWORD written = 0;
    return WriteFile(to, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
           written == text.size();
}

void Say(const std::string& text, bool error) {
    if (text.empty()) {
        return;
    }
    // Redirected to a file or a pipe: there.
    HANDLE given = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (given != nullptr && given != INVALID_HANDLE_VALUE &&
        GetFileType(given) != FILE_TYPE_UNKNOWN && WriteAll(given, text)) {
        return;
    }
    // Started from a console: a program of the windows subsystem has none of its own.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE console = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        const bool said = console != INVALID_HANDLE_VALUE && WriteAll(console, text);
        if (console != INVALID_HANDLE_VALUE) {
            CloseHandle(console);
        }
        FreeConsole();
        if (said) {
            return;
        }
    }
    MessageBoxA(nullptr, text.c_str(), "vemor",
                MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

} // namespace

Start ReadCommandLine(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    // The Start menu's option: taken, but left out of the help like a toolkit's.
    CommandLine line({}, {DocumentsOptionName});
    const CommandLine::Action action = line.Parse(arguments);
    if (action == CommandLine::Action::RunWindow) {
        bool inDocuments = false;
        for (const std::string& a : arguments) {
            inDocuments = inDocuments || a == DocumentsOption;
        }
        return {true, 0, line.Operands(), inDocuments};
    }
    const CommandLine::Reply reply = line.Answer(action, VEMOR_VERSION);
    Say(reply.out, false);
    Say(reply.err, true);
    return {false, reply.exitCode, {}};
}

} // namespace vemor
