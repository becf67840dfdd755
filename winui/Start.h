#pragma once
// The Win32 program's command line: --help and --version answered on the standard output the
// program was given, else on the console it was started from, else in a message box; a
// mistyped option refused the same way; the capture files to open. Before any window.

#include <string>
#include <vector>

namespace vemor {

struct Start {
    bool run = true;  // open the monitor
    int exitCode = 0; // when not
    std::vector<std::string> captures;
    bool inDocuments = false; // DocumentsOption: record into Documents\Vemor
};

Start ReadCommandLine(int argc, char** argv);

} // namespace vemor
