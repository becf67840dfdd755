// The Win32 capture viewer: vemor.exe FILE opens one whose cursor reads the decoder's row, a
// file dropped on the monitor opens one, and its export writes the decoder's CSV and never
// replaces the capture. The model's own tests cover the rest on both platforms.
#include "Viewer.h"
#include "SystemLocale.h"
#include "WinKit.h"

#include "../capture/GoldenCaptures.h"
#include "../capture/TestFiles.h"
#include "../support/Decoded.h"

#include <shlobj.h>

#include <cstring>

namespace vemor::wintest {
namespace {

using decode::testing::RandomCapture;
using decode::testing::Rows;
using decode::testing::Split;
using vemor::testing::Decoded;
using vemor::testing::ReadText;
using vemor::testing::WriteFile;

// The top-level window of the process with this title.
HWND WindowOf(DWORD process, const std::string& title) {
    struct Search {
        DWORD process;
        std::string title;
        HWND found = nullptr;
    } search{process, title};
    EnumWindows(
        [](HWND w, LPARAM l) -> BOOL {
            auto* s = reinterpret_cast<Search*>(l);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == s->process && Text(w) == s->title) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A control's text in another process: asked of it, as GetWindowText does not.
std::string Asked(HWND w) {
    char text[1024] = {};
    DWORD_PTR n = 0;
    SendMessageTimeoutA(w, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &n);
    return std::string(text, n);
}

// The children of a class, in the order they were made.
std::vector<HWND> Children(HWND parent, const char* cls) {
    std::vector<HWND> found;
    for (HWND w = FindWindowExA(parent, nullptr, cls, nullptr); w != nullptr;
         w = FindWindowExA(parent, w, cls, nullptr)) {
        found.push_back(w);
    }
    return found;
}

// As an operator starts it: the viewer opens beside the monitor, and the arrow key puts
// its cursor on a frame that reads as the decoder's row for it.
TEST(CommandLine, EachCaptureNamedOpensAViewerWhoseCursorReadsTheDecodersRow) {
    vemor::testing::TempDir folder("vemor-viewer", vemor::testing::TempDir::Enter::Yes);
    const Bytes capture = RandomCapture(31, 3000);
    WriteFile("TMP1.$$$", capture);
    const auto rows = Rows(Decoded(capture));
    std::string line = "\"" VEMOR_EXE "\" TMP1.$$$";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    HWND viewer = nullptr;
    HWND chart = nullptr;
    std::vector<HWND> texts; // the cursor's detail, the summary
    const bool loaded = PumpUntil(
        [&] {
            viewer = WindowOf(pi.dwProcessId, "TMP1.$$$ - Vemor");
            chart = FindWindowExA(viewer, nullptr, "VemorViewerChart", nullptr);
            texts = Children(viewer, "EDIT");
            return texts.size() == 2 && Asked(texts[1]).starts_with("Start 14:03:07");
        },
        30000);
    EXPECT_TRUE(loaded) << "no viewer shows TMP1.$$$: " << viewer << " " << texts.size() << " "
                        << (texts.size() > 1 ? Asked(texts[1]) : "");
    EXPECT_NE(WindowOf(pi.dwProcessId, "Vemor"), nullptr) << "the monitor is not beside it";
    if (loaded) {
        for (int step = 0; step < 2; ++step) {
            const std::string before = Asked(texts[0]);
            PostMessageA(chart, WM_KEYDOWN, VK_RIGHT, 0);
            ASSERT_TRUE(PumpUntil([&] { return Asked(texts[0]) != before; }, 10000));
            const std::string detail = Asked(texts[0]);
            const std::size_t at = detail.find("   frame ");
            ASSERT_NE(at, std::string::npos) << detail;
            const auto frame = std::stoull(detail.substr(at + 9));
            ASSERT_LT(frame, rows.size());
            const auto& row = rows[frame];
            EXPECT_EQ(frame, step == 0 ? 1500u : 1501u)
                << "the middle of the capture, then the next";
            EXPECT_TRUE(detail.starts_with("MAP " + row.at("map") + "   ")) << detail;
            EXPECT_NE(detail.find("   offset " + row.at("offset") + "   "), std::string::npos);
            std::vector<std::string> labels;
            for (HWND l : Children(viewer, "STATIC")) {
                labels.push_back(Asked(l));
            }
            ASSERT_EQ(labels.size(), 6u) << "the five labels, then the playback's speed";
            EXPECT_EQ(labels.back(), "Space plays at 1x");
            labels.pop_back();
            const auto want = vemor::testing::LabelsOf(row, SystemDecimalSeparator());
            EXPECT_EQ(labels, std::vector<std::string>(want.begin(), want.end()));
        }
    }
    PostMessageA(WindowOf(pi.dwProcessId, "Vemor"), WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "vemor.exe did not end when its monitor closed";
        TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

class ViewerTest : public WindowTest {
protected:
    void TearDown() override {
        ViewerWindow::CloseAll();
        WindowTest::TearDown();
    }
    // Drops the file on the monitor, as from the desktop's file manager.
    ViewerWindow* Drop(const std::string& name) {
        const std::string path = (dir_ / name).string();
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + path.size() + 2);
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path.c_str(), path.size());
        GlobalUnlock(memory);
        const std::size_t before = ViewerWindow::All().size();
        SendMessageA(Form1->Handle, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
        EXPECT_EQ(ViewerWindow::All().size(), before + 1);
        ViewerWindow* v = ViewerWindow::All().back();
        EXPECT_TRUE(PumpUntil([v] { return v->Model().Index() != nullptr; }, 20000));
        return v;
    }
};

TEST_F(ViewerTest, ExportWritesTheDecodersCsvAndNeverReplacesTheCapture) {
    const Bytes capture = RandomCapture(9, 2000);
    WriteFile("TMP1.$$$", capture);
    ViewerWindow* v = Drop("TMP1.$$$");
    ASSERT_NE(v->Model().Index(), nullptr);
    EXPECT_EQ(Text(v->Handle()), "TMP1.$$$ - Vemor");
    EXPECT_EQ(Text(v->Summary), v->Model().SummaryText(CountText));
    v->SetCursorFrame(1234);
    EXPECT_EQ(Text(v->Detail), v->Model().CursorReading()->detail);
    EXPECT_EQ(Text(v->Labels[0]), v->Model().CursorReading()->labels[0]);

    std::vector<std::pair<bool, std::string>> told;
    v->OnExported = [&told](bool ok, const std::string& text) { told.emplace_back(ok, text); };
    const std::string csv = Decoded(capture);
    const auto lines = Split(csv, '\n');
    // In seconds, where the cursor stays on its frame and the view on the frames in it.
    v->SetUnit(decode::XUnit::Seconds);
    const decode::CaptureIndex& index = *v->Model().Index();
    v->ShowRange(decode::FrameX(index, 100, decode::XUnit::Seconds),
                 decode::FrameX(index, 160, decode::XUnit::Seconds));
    for (bool visibleOnly : {false, true}) {
        v->ExportTo("out.csv", visibleOnly);
        ASSERT_TRUE(PumpUntil([&] { return !told.empty(); }, 20000));
        EXPECT_EQ(told.back(), std::make_pair(true, std::string("Wrote out.csv")));
        EXPECT_EQ(v->StatusText(), "Wrote out.csv");
        std::string want = csv;
        if (visibleOnly) {
            want = lines.at(0) + "\n";
            for (std::size_t f = 100; f <= 160; ++f) {
                want += lines.at(f + 1) + "\n";
            }
        }
        EXPECT_EQ(ReadText("out.csv"), want) << (visibleOnly ? "frames in view" : "whole");
        told.clear();
    }
    v->ExportTo("TMP1.$$$", false);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "Cannot export the CSV to TMP1.$$$: that is the capture shown, "
                              "which it would replace. Choose another name.");
    EXPECT_EQ(ReadBytes("TMP1.$$$"), capture);
}

// With a journal: the unit is named time of day, the Marks menu lists the marks, F2 and the
// menu move the cursor to them, and the playback keys reach the viewer from its chart.
TEST_F(ViewerTest, TheMarksMenuAndF2FindTheJournalsMarksAndSpacePlaysOn) {
    const auto [capture, journal] = decode::testing::OutageCapture();
    WriteFile("TMP1.$$$", capture);
    WriteFile("TMP1.$$$.txt", journal);
    ViewerWindow* v = Drop("TMP1.$$$");
    ASSERT_NE(v->Model().Index(), nullptr);
    char unit[64] = {};
    SendMessageA(v->UnitChoice, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(unit));
    EXPECT_STREQ(unit, "X in time of day");
    const auto marks = v->Model().Marks();
    ASSERT_EQ(marks.size(), 2u);
    ASSERT_EQ(GetMenuItemCount(v->MarksMenu), 5);
    SendMessageA(v->Handle(), WM_KEYDOWN, VK_F2, 0);
    EXPECT_EQ(v->Model().CursorFrame(), marks[0].frame);
    EXPECT_EQ(v->StatusText(), marks[0].text);
    SendMessageA(v->Handle(), WM_COMMAND, GetMenuItemID(v->MarksMenu, 4), 0);
    EXPECT_EQ(v->Model().CursorFrame(), marks[1].frame);
    EXPECT_EQ(v->StatusText(), marks[1].text);

    // A second viewer opens down and right of the first, and neither on the monitor's corner
    // (the test's screen is too small for one beside the monitor: it goes to the screen's).
    ViewerWindow* second = Drop("TMP1.$$$");
    RECT monitor{}, first{}, next{};
    GetWindowRect(Form1->Handle, &monitor);
    GetWindowRect(v->Handle(), &first);
    GetWindowRect(second->Handle(), &next);
    EXPECT_NE(std::pair(first.left, first.top), std::pair(monitor.left, monitor.top));
    EXPECT_EQ(next.left - first.left, decode::ViewerStep);
    EXPECT_EQ(next.top - first.top, decode::ViewerStep);

    // Space plays from there on, ] doubles the speed, and the cursor moves on its own.
    for (const char key : {' ', ']'}) {
        SendMessageA(v->Chart().Handle(), WM_CHAR, static_cast<WPARAM>(key), 0);
    }
    EXPECT_EQ(Text(v->Speed), "Playing at 2x");
    EXPECT_TRUE(PumpUntil([&] { return v->Model().CursorFrame() > marks[1].frame; }, 5000));
}

} // namespace
} // namespace vemor::wintest
