// vemor-decode.exe as a Windows process: the same golden outputs, byte for byte (no line-end
// translation), the same error lines for unusable files, and the usage.
#include "../capture/GoldenCaptures.h"
#include "../capture/TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vemor::decode::testing {
namespace {

struct Outcome {
    DWORD exitStatus = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

HANDLE InheritedFile(const std::string& path) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

Outcome RunDecoder(const TempDir& tmp, const std::vector<std::string>& args) {
    const std::string outPath = tmp / "stdout", errPath = tmp / "stderr";
    std::string line = "\"" VEMOR_DECODE_EXE "\"";
    for (const std::string& a : args) {
        line += " \"" + a + "\"";
    }
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = InheritedFile(outPath);
    si.hStdError = InheritedFile(errPath);
    PROCESS_INFORMATION pi{};
    const BOOL started =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(si.hStdOutput);
    CloseHandle(si.hStdError);
    Outcome o;
    if (!started) {
        ADD_FAILURE() << "cannot start " << line << ": error " << GetLastError();
        return o;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &o.exitStatus);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    o.out = ReadFile(outPath);
    o.err = ReadFile(errPath);
    return o;
}

TEST(DecodeExe, GoldenOutputForEachCaptureAndMode) {
    TempDir tmp;
    for (const GoldenCapture& capture : GoldenCaptures()) {
        const std::string file = tmp / (capture.name + ".cap");
        WriteFile(file, capture.bytes);
        for (const OutputMode& mode : OutputModes()) {
            SCOPED_TRACE(capture.name + mode.suffix);
            std::vector<std::string> args = mode.args;
            args.push_back(file);
            const Outcome o = RunDecoder(tmp, args);
            EXPECT_EQ(o.exitStatus, 0u);
            ExpectGolden(capture.name + mode.suffix, o.out);
        }
    }
}

TEST(DecodeExe, UnusableFilesAndWrongUsageAreToldOnStandardError) {
    TempDir tmp;
    const std::string shortFile = tmp / "TMP1.$$$";
    WriteFile(shortFile, std::string(15, '1'));
    const std::string dir = tmp / "TMP2.$$$";
    ASSERT_TRUE(std::filesystem::create_directory(dir));
    const std::string missing = tmp / "TMP3.$$$";
    struct Case {
        std::vector<std::string> args;
        DWORD status;
        std::string firstLine;
    };
    const Case cases[] = {
        {{shortFile}, 1, shortFile + ": file is shorter than the 16-byte header"},
        {{dir}, 1, dir + ": Is a directory"},
        {{missing}, 1, missing + ": No such file or directory"},
        {{"--bogus", shortFile}, 2, "unknown option '--bogus'"},
        {{}, 2, "no capture file given"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstLine);
        const Outcome o = RunDecoder(tmp, c.args);
        EXPECT_EQ(o.exitStatus, c.status);
        EXPECT_EQ(o.err.substr(0, o.err.find('\n')), "vemor-decode: " + c.firstLine);
        EXPECT_EQ(o.err.find('\r'), std::string::npos) << "line ends translated";
        EXPECT_EQ(o.out, "");
    }
    const Outcome help = RunDecoder(tmp, {"--help"});
    EXPECT_EQ(help.exitStatus, 0u);
    EXPECT_EQ(help.out.rfind("usage: vemor-decode", 0), 0u);
}

} // namespace
} // namespace vemor::decode::testing
