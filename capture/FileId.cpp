#include "vemor/capture/FileId.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

namespace vemor {

namespace {

std::vector<FileId>& OpenCaptures() {
    static std::vector<FileId> open; // GUI thread only
    return open;
}

// "TMP", digits, ".$$$", as the capture names are made.
bool NamedLikeACapture(const std::string& name) {
    if (name.size() < 8 || name.rfind("TMP", 0) != 0 || !name.ends_with(".$$$")) {
        return false;
    }
    const auto digits = name.substr(3, name.size() - 7);
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

} // namespace

void NoteOpenCapture(const FileId& id, bool open) {
    std::vector<FileId>& list = OpenCaptures();
    if (open) {
        list.push_back(id);
    } else if (const auto it = std::find(list.begin(), list.end(), id); it != list.end()) {
        list.erase(it);
    }
}

bool IsOpenCapture(const FileId& id) {
    const std::vector<FileId>& list = OpenCaptures();
    return id.Valid && std::find(list.begin(), list.end(), id) != list.end();
}

std::string ExportRefusal(const std::string& target, const FileId& viewed) {
    const std::string name = std::filesystem::path(target).filename().string();
    const FileId id = IdOf(target);
    if (SameFile(id, viewed)) {
        return "that is the capture shown, which it would replace";
    }
    if (IsOpenCapture(id)) {
        return "that is the capture being recorded, which it would replace";
    }
    if (NamedLikeACapture(name)) {
        return "that name is a capture's (TMP<n>.$$$), and a capture is never replaced";
    }
    return {};
}

} // namespace vemor
