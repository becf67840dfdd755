#pragma once
// Golden files and CSV rows for the capture and decoder tests.

#include "../support/Files.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace vemor::decode::testing {

using vemor::testing::ReadText;
using vemor::testing::TempDir;
using vemor::testing::WriteFile;

inline std::string GoldenPath(const std::string& file) {
    return std::string(VEMOR_GOLDEN_DIR) + "/" + file;
}

// Set to regenerate the golden files instead of comparing with them.
inline bool UpdatingGolden() {
    const char* v = std::getenv("VEMOR_UPDATE_GOLDEN");
    return v != nullptr && *v != '\0' && std::string(v) != "0";
}

// Compares with the golden file, or rewrites it when regenerating.
inline void ExpectGolden(const std::string& file, const std::string& actual) {
    const std::string path = GoldenPath(file);
    if (UpdatingGolden()) {
        WriteFile(path, actual);
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(path)) << path << " is missing";
    EXPECT_EQ(ReadText(path), actual) << "differs from " << path;
}

inline std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(s);
    for (std::string part; std::getline(in, part, sep);) {
        parts.push_back(part);
    }
    return parts;
}

// Rows of a CSV output as column name -> text, the header line checked on the way.
inline std::vector<std::map<std::string, std::string>> Rows(const std::string& csv) {
    const std::vector<std::string> lines = Split(csv, '\n');
    EXPECT_FALSE(lines.empty());
    const std::vector<std::string> names = Split(lines.at(0), ',');
    std::vector<std::map<std::string, std::string>> rows;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> cells = Split(lines[i], ',');
        EXPECT_EQ(cells.size(), names.size()) << lines[i];
        std::map<std::string, std::string> row;
        for (std::size_t c = 0; c < names.size() && c < cells.size(); ++c) {
            row[names[c]] = cells[c];
        }
        rows.push_back(row);
    }
    return rows;
}

} // namespace vemor::decode::testing
