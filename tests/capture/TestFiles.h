#pragma once
// Temporary files and golden files for the capture and decoder tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vemor::decode::testing {

inline std::string GoldenPath(const std::string& file) {
    return std::string(VEMOR_GOLDEN_DIR) + "/" + file;
}

// Set to regenerate the golden files instead of comparing with them.
inline bool UpdatingGolden() {
    const char* v = std::getenv("VEMOR_UPDATE_GOLDEN");
    return v != nullptr && *v != '\0' && std::string(v) != "0";
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

// Compares with the golden file, or rewrites it when regenerating.
inline void ExpectGolden(const std::string& file, const std::string& actual) {
    const std::string path = GoldenPath(file);
    if (UpdatingGolden()) {
        WriteFile(path, actual);
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(path)) << path << " is missing";
    EXPECT_EQ(ReadFile(path), actual) << "differs from " << path;
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

class TempDir {
public:
    TempDir() {
        namespace fs = std::filesystem;
        std::random_device random;
        for (int tries = 0; tries < 100 && path_.empty(); ++tries) {
            const fs::path p =
                fs::temp_directory_path() / ("vemor-decode-" + std::to_string(random()));
            if (fs::create_directory(p)) {
                path_ = p.string();
            }
        }
        if (path_.empty()) {
            throw std::runtime_error("cannot make a temporary folder");
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace vemor::decode::testing
