#pragma once
// Which file a name leads to, by the system's identity of files (device and inode; volume and
// file index on Windows), not by its path: a file that is moved keeps it, a file put in its
// place under the same name does not. GUI thread, but IdOf.

#include <cstdint>
#include <string>

namespace vemor {

struct FileId {
    std::uint64_t Volume = 0;
    std::uint64_t Index = 0;
    bool Valid = false;
    friend bool operator==(const FileId&, const FileId&) = default;
};

// The file path leads to, links followed; not Valid when it leads to none. Any thread.
FileId IdOf(const std::string& path);

// Both name one file.
inline bool SameFile(const FileId& a, const FileId& b) {
    return a.Valid && b.Valid && a == b;
}

// One of the captures this process is recording. Any thread.
bool IsOpenCapture(const FileId& id);

// Why an export must not be written to target, or empty: it would replace a capture, the one
// shown (viewed), the one being recorded, or any file named like one (TMP<n>.$$$).
std::string ExportRefusal(const std::string& target, const FileId& viewed);

} // namespace vemor
