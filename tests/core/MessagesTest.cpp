#include "vemor/Messages.h"

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

} // namespace
} // namespace vemor
