#pragma once
// A fresh folder of the test's own, removed with everything in it at the end; optionally the
// working directory meanwhile, where captures are made. Any platform.

#include <filesystem>
#include <random>
#include <string>

namespace vemor::testing {

class TempDir {
public:
    enum class Enter { No, Yes };

    explicit TempDir(const std::string& tag = "vemor", Enter enter = Enter::No) {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        do {
            path_ = base / (tag + "-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
        if (enter == Enter::Yes) {
            previous_ = std::filesystem::current_path();
            std::filesystem::current_path(path_);
        }
    }
    ~TempDir() {
        std::error_code ec;
        if (!previous_.empty()) {
            std::filesystem::current_path(previous_, ec);
        }
        // Read-only folders a test made are emptied too.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // The same path as text.
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

} // namespace vemor::testing
