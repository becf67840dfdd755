#include "vemor/Messages.h"
#include "vemor/StatusWidths.h"

#include <gtest/gtest.h>

namespace vemor {
namespace {

TEST(Messages, FullStopOnlyAfterCharactersThatSortAfterIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"Disk full", "Disk full."},
        {"Disk full.", "Disk full."},
        {"Disk full!", "Disk full!"},
        {"a, b,", "a, b,"},
        {"(busy)", "(busy)"},
        {"code 5", "code 5."},
        {"path /tmp/", "path /tmp/."},
        {"caf\xE9", "caf\xE9."}, // 8-bit characters sort after the full stop
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(WithFullStop(in), out) << in;
    }
}

TEST(Messages, CannotCreateFileTrimsTheSystemText) {
    EXPECT_EQ(CannotCreateFileMessage("/tmp/x/TMP1.$$$", "Permission denied"),
              "Cannot create file \"/tmp/x/TMP1.$$$\". Permission denied");
    EXPECT_EQ(CannotCreateFileMessage("/a/TMP2.$$$", "Access is denied. \r\n"),
              "Cannot create file \"/a/TMP2.$$$\". Access is denied");
    EXPECT_EQ(TrimSystemText(" . \n"), "");
    EXPECT_EQ(WithFullStop(CannotCreateFileMessage("/a/TMP2.$$$", "Is a directory")),
              "Cannot create file \"/a/TMP2.$$$\". Is a directory.");
}

TEST(Messages, CaptureProgressTexts) {
    const std::pair<std::uint64_t, const char*> sizes[] = {
        {999, "999 B"},
        {1249, "1.2 kB"},
        {1250, "1.3 kB"},
        {999'950, "1.0 MB"}, // rounds up into the next unit
        {3'400'000'000, "3.4 GB"},
        {18'446'744'073'709'551'615ULL, "18.4 EB"},
    };
    for (const auto& [bytes, text] : sizes) {
        EXPECT_EQ(ByteCountText(bytes, '.'), text) << bytes;
    }
    EXPECT_EQ(ByteCountText(1'234'567, ','), "1,2 MB");
    const std::pair<std::uint64_t, const char*> times[] = {
        {59, "00:59"}, {3599, "59:59"}, {3852, "1:04:12"}, {100 * 3600 + 1, "100:00:01"}};
    for (const auto& [seconds, text] : times) {
        EXPECT_EQ(ElapsedText(seconds), text) << seconds;
    }
    EXPECT_EQ(CapturingText("TMP3.$$$", 1'234'567, 252, '.'),
              "Capturing to TMP3.$$$ - 1.2 MB, 04:12");
    EXPECT_EQ(CannotFinishFileMessage("/a/TMP3.$$$", "File too large\n"),
              "Cannot finish file \"/a/TMP3.$$$\"; its header may lack the stop time. File too "
              "large");
}

// The status bar's width: natural widths while all fit; else the message keeps a third and
// the fields share the rest in proportion.
TEST(StatusWidths, ShareTheBarAsTheTextsNeed) {
    struct Case {
        int bar;
        std::array<int, 3> natural, want;
    };
    const Case cases[] = {
        {900, {300, 200, 100}, {600, 200, 100}}, // all fit: the message has the rest
        {500, {450, 200, 100}, {200, 200, 100}}, // the fields fit beside a third
        {300, {450, 400, 200}, {100, 133, 67}},  // they do not: shared in proportion
        {300, {450, 0, 0}, {300, 0, 0}},         {0, {10, 10, 10}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StatusWidths(c.bar, c.natural), c.want) << c.bar;
    }
}

} // namespace
} // namespace vemor
