#include "vemor/capture/FileId.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace vemor {

namespace {

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
