// vemor-decode as a process, started as each system starts programs: golden outputs byte
// for byte (no line-end translation), error lines, exit statuses.
#include "../capture/GoldenCaptures.h"
#include "../capture/TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace vemor::decode::testing {
namespace {

struct Outcome {
    int exitStatus = -1; // -1 when ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

#ifdef _WIN32
HANDLE InheritedFile(const std::string& path) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs the decoder as Windows starts programs, its output to files in tmp.
Outcome RunDecoder(const TempDir& tmp, const std::vector<std::string>& args) {
    const std::string outPath = tmp.File("stdout"), errPath = tmp.File("stderr");
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
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    o.exitStatus = static_cast<int>(code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    o.out = ReadText(outPath);
    o.err = ReadText(errPath);
    return o;
}
#else
// Runs the decoder with stdout to `stdoutPath` (a file in tmp by default) or to `stdoutFd`.
Outcome RunDecoder(const TempDir& tmp, const std::vector<std::string>& args,
                   const char* stdoutPath = nullptr, int stdoutFd = -1) {
    const std::string outPath = tmp.File("stdout"), errPath = tmp.File("stderr");
    std::vector<std::string> argvStore = {VEMOR_DECODE_EXE};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO,
                                         stdoutPath ? stdoutPath : outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Outcome o;
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(rc);
        return o;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        o.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        o.signal = WTERMSIG(status);
    }
    if (stdoutFd < 0 && stdoutPath == nullptr) {
        o.out = ReadText(outPath);
    }
    o.err = ReadText(errPath);
    return o;
}
#endif

TEST(DecodeCli, GoldenOutputForEachCaptureAndMode) {
    TempDir tmp;
    for (const GoldenCapture& capture : GoldenCaptures()) {
        const std::string file = WriteGolden(tmp, capture);
        for (const OutputMode& mode : OutputModes()) {
            SCOPED_TRACE(capture.name + mode.suffix + " (" + capture.about + ")");
            std::vector<std::string> args = mode.args;
            args.push_back(file);
            const Outcome o = RunDecoder(tmp, args);
            EXPECT_EQ(o.exitStatus, 0);
            EXPECT_EQ(o.err, "");
            // The journal's name in --info, without the folder that differs from run to run.
            std::string out = o.out;
            const std::string folder = tmp.File("");
            for (auto at = out.find(folder); at != std::string::npos; at = out.find(folder)) {
                out.erase(at, folder.size());
            }
            ExpectGolden(capture.name + mode.suffix, out);
        }
    }
}

TEST(DecodeCli, UnusableFilesGiveOneLineNamingTheFileAndExitOne) {
    TempDir tmp;
    const std::string shortFile = tmp.File("TMP1.$$$");
    WriteFile(shortFile, std::string(15, '1'));
    const std::string dir = tmp.File("TMP2.$$$");
    ASSERT_TRUE(std::filesystem::create_directory(dir));
    const std::string emptyFile = tmp.File("TMP4.$$$");
    WriteFile(emptyFile, std::string());

    struct Case {
        std::string path;
        std::string reason;
    };
    std::vector<Case> cases = {
        {shortFile, "file is shorter than the 16-byte header"},
        {emptyFile, "file is shorter than the 16-byte header"},
        {dir, "Is a directory"},
        {tmp.File("TMP3.$$$"), "No such file or directory"},
    };
#ifndef _WIN32
    const std::string fifo = tmp.File("TMP5.$$$");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    cases.push_back({"/dev/zero", "not a regular file"}); // would never end
    cases.push_back({fifo, "not a regular file"});        // would wait for a writer
#endif
    for (const Case& c : cases) {
        for (const OutputMode& mode : OutputModes()) {
            SCOPED_TRACE(c.path + " " + mode.suffix);
            std::vector<std::string> args = mode.args;
            args.push_back(c.path);
            const Outcome o = RunDecoder(tmp, args);
            EXPECT_EQ(o.exitStatus, 1);
            EXPECT_EQ(o.err, "vemor-decode: " + c.path + ": " + c.reason + "\n");
            EXPECT_EQ(o.out, "");
        }
    }
}

#ifndef _WIN32
TEST(DecodeCli, UnreadableFileIsAnErrorNotAnEmptyDecode) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "running as root: mode 000 does not stop reads";
    }
    TempDir tmp;
    const std::string file = tmp.File("TMP1.$$$");
    WriteFile(file, GoldenCaptures().front().bytes);
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    const Outcome o = RunDecoder(tmp, {file});
    EXPECT_EQ(o.exitStatus, 1);
    EXPECT_EQ(o.err, "vemor-decode: " + file + ": Permission denied\n");
    EXPECT_EQ(o.out, "");
}

#endif

TEST(DecodeCli, WrongUsageShowsUsageOnStderrAndExitsTwo) {
    TempDir tmp;
    const std::string file = tmp.File("a.cap");
    WriteFile(file, GoldenCaptures().front().bytes);
    struct Case {
        std::vector<std::string> args;
        std::string firstLine;
    };
    const Case cases[] = {
        {{"--bogus", file}, "vemor-decode: unknown option '--bogus'"},
        {{file, "-x"}, "vemor-decode: unknown option '-x'"},
        {{}, "vemor-decode: no capture file given"},
        {{"--payload"}, "vemor-decode: no capture file given"},
        {{file, file}, "vemor-decode: one capture file at a time"},
        {{"--info", "--payload", file},
         "vemor-decode: --info prints no rows, so --payload cannot go with it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstLine);
        const Outcome o = RunDecoder(tmp, c.args);
        EXPECT_EQ(o.exitStatus, 2);
        EXPECT_EQ(o.err.substr(0, o.err.find('\n')), c.firstLine);
        EXPECT_NE(o.err.find("usage: vemor-decode"), std::string::npos);
        EXPECT_EQ(o.out, "");
    }
}

TEST(DecodeCli, HelpGoesToStdoutWithExitZero) {
    TempDir tmp;
    const Outcome o = RunDecoder(tmp, {"--help"});
    EXPECT_EQ(o.exitStatus, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.out.rfind("usage: vemor-decode", 0), 0u);
    EXPECT_NE(o.out.find("--payload"), std::string::npos);
}

// A journal beside the capture that cannot be used is a warning; the rows are those without.
TEST(DecodeCli, JournalThatCannotBeReadIsWarnedAboutAndLeftOut) {
    struct Case {
        const char* name;
        bool folder;
        std::string reason; // empty: the system's words
    };
    const Case cases[] = {
        {"no event in it", false, "holds no event"},
        {"a folder", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        const std::string file = tmp.File("TMP3.$$$");
        WriteFile(file, GoldenCaptures().front().bytes);
        if (c.folder) {
            std::filesystem::create_directory(file + ".txt");
        } else {
            WriteFile(file + ".txt", std::string("offset\tdate\ttime\tevent\tdetail\n"));
        }
        const Outcome o = RunDecoder(tmp, {file});
        EXPECT_EQ(o.exitStatus, 0);
        EXPECT_EQ(o.out, ReadText(GoldenPath("basic.csv")));
        const std::string prefix = "vemor-decode: " + file + ".txt: ";
        EXPECT_EQ(o.err.rfind(prefix, 0), 0u) << o.err;
        EXPECT_TRUE(o.err.ends_with("; decoding without it\n")) << o.err;
        if (!c.reason.empty()) {
            EXPECT_EQ(o.err, prefix + c.reason + "; decoding without it\n");
        }
    }
}

TEST(DecodeCli, FileNamedLikeAnOptionAfterDoubleDash) {
    TempDir tmp;
    const std::string file = tmp.File("--info");
    WriteFile(file, GoldenCaptures().front().bytes);
    const Outcome o = RunDecoder(tmp, {"--", file});
    EXPECT_EQ(o.exitStatus, 0);
    EXPECT_EQ(o.out, ReadText(GoldenPath("basic.csv")));
}

#ifndef _WIN32
TEST(DecodeCli, FullDiskIsReportedAsFailure) {
    if (::access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    TempDir tmp;
    const std::string file = tmp.File("a.cap");
    WriteFile(file, GoldenCaptures().front().bytes);
    for (const OutputMode& mode : OutputModes()) {
        SCOPED_TRACE(mode.suffix);
        std::vector<std::string> args = mode.args;
        args.push_back(file);
        const Outcome o = RunDecoder(tmp, args, "/dev/full");
        EXPECT_EQ(o.exitStatus, 1);
        EXPECT_EQ(o.err,
                  "vemor-decode: cannot write to standard output: No space left on device\n");
    }
}

TEST(DecodeCli, ReaderThatGoesAwayEndsItQuietlyAsOtherToolsEnd) {
    TempDir tmp;
    const std::string file = tmp.File("a.cap");
    WriteFile(file, GoldenCaptures().front().bytes);
    for (const std::vector<std::string>& args : {std::vector<std::string>{file}, {"--help"}}) {
        SCOPED_TRACE(args.front());
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        ::close(fds[0]); // as `vemor-decode FILE | head` once head has ended
        const Outcome o = RunDecoder(tmp, args, nullptr, fds[1]);
        ::close(fds[1]);
        EXPECT_EQ(o.signal, SIGPIPE);
        EXPECT_EQ(o.err, "");
    }
}

#endif

TEST(DecodeCli, HeaderThatIsNoTimeTextIsWarnedAboutAndShownEscaped) {
    TempDir tmp;
    const std::string file = tmp.File("odd.cap");
    Bytes bytes = Header("\x1b]0;x\x07", "14:05:11");
    const GoldenCapture basic = GoldenCaptures().front();
    bytes.insert(bytes.end(), basic.bytes.begin() + 16, basic.bytes.end());
    WriteFile(file, bytes);
    // The rows and the counts come all the same; the terminal sees no control byte.
    const Outcome o = RunDecoder(tmp, {"--info", file});
    EXPECT_EQ(o.exitStatus, 0);
    EXPECT_EQ(o.err, "vemor-decode: " + file +
                         ": warning: the header's start time \"\\x1b]0;x\\x07\" is not a time "
                         "text; this may not be a capture file\n");
    EXPECT_EQ(o.out, "start: \\x1b]0;x\\x07\nstop: 14:05:11\n" +
                         ReadText(GoldenPath("basic.info")).substr(31));
}

} // namespace
} // namespace vemor::decode::testing
