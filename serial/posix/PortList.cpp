#include "PortList.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vemor {

namespace {

namespace fs = std::filesystem;

// The first line of a small text file, without trailing blanks; empty when unreadable.
std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0) {
        line.pop_back();
    }
    return line;
}

// Product, maker and serial number from the USB device above the tty in sysfs.
void Describe(const fs::path& root, PresentPort& port) {
    std::error_code ec;
    fs::path dir = fs::canonical(root / "sys/class/tty" / port.Kernel / "device", ec);
    // usb-serial: tty -> port -> interface -> device; cdc-acm: tty -> interface -> device
    for (int up = 0; !ec && up < 4 && !dir.empty(); ++up, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec)) {
            port.Product = ReadLine(dir / "product");
            port.Maker = ReadLine(dir / "manufacturer");
            port.Serial = ReadLine(dir / "serial");
            return;
        }
    }
}

// ttyUSB2 before ttyUSB10.
bool KernelOrder(const PresentPort& a, const PresentPort& b) {
    const auto split = [](const std::string& name) {
        const std::size_t digits = name.find_first_of("0123456789");
        const std::string stem = name.substr(0, digits);
        const long n = digits == std::string::npos ? -1 : std::atol(name.c_str() + digits);
        return std::make_pair(stem, n);
    };
    return split(a.Kernel) < split(b.Kernel);
}

bool IsAdapterName(const std::string& name) {
    return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
}

// The pseudo-terminal that a master descriptor serves, from its fdinfo; -1 when it says none.
long PtyIndexOf(const std::string& fdinfo) {
    std::ifstream in(fdinfo);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("tty-index:", 0) == 0) {
            return std::atol(line.c_str() + 10);
        }
    }
    return -1;
}

} // namespace

bool MayBeTerminal(const std::string& path, const std::string& root) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return true;
    }
    if (!S_ISCHR(st.st_mode)) {
        return false;
    }
    // Pseudo-terminals have no entry here; every other device does.
    std::error_code ec;
    const fs::path subsystem = fs::read_symlink(
        fs::path(root) / "sys/dev/char" /
            (std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev))) /
            "subsystem",
        ec);
    return ec || subsystem.filename() == "tty";
}

std::vector<PresentPort> ListPresentPorts(const std::string& root) {
    const fs::path base(root);
    std::vector<PresentPort> stable;
    std::set<std::string> linked;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(base / "dev/serial/by-id", ec)) {
        std::error_code e;
        // A dangling link is a device that has just gone; one to anything but a character
        // device is no serial port.
        if (!entry.is_symlink(e) || !fs::is_character_file(entry.path(), e)) {
            continue;
        }
        PresentPort port;
        port.Path = "/dev/serial/by-id/" + entry.path().filename().string();
        port.Kernel = fs::read_symlink(entry.path(), e).filename().string();
        Describe(base, port);
        linked.insert(port.Kernel);
        stable.push_back(std::move(port));
    }
    std::sort(stable.begin(), stable.end(),
              [](const PresentPort& a, const PresentPort& b) { return a.Path < b.Path; });

    std::vector<PresentPort> plain;
    for (const auto& entry : fs::directory_iterator(base / "sys/class/tty", ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code e;
        if (!IsAdapterName(name) || linked.count(name) != 0 ||
            !fs::exists(base / "dev" / name, e)) {
            continue;
        }
        PresentPort port;
        port.Path = "/dev/" + name;
        port.Kernel = name;
        Describe(base, port);
        plain.push_back(std::move(port));
    }
    std::sort(plain.begin(), plain.end(), KernelOrder);
    stable.insert(stable.end(), plain.begin(), plain.end());
    return stable;
}

std::optional<PortHolder> FindHolder(const std::string& path, long skipPid,
                                     const std::string& procRoot) {
    struct stat want {};
    if (stat(path.c_str(), &want) != 0 || !S_ISCHR(want.st_mode)) {
        return std::nullopt;
    }
    // Unix98 pseudo-terminal slaves have majors 136 to 143.
    const unsigned major = ::major(want.st_rdev);
    const long ptyIndex = major >= 136 && major <= 143
                              ? static_cast<long>((major - 136) * 256 + ::minor(want.st_rdev))
                              : -1;

    DIR* proc = opendir(procRoot.c_str());
    if (proc == nullptr) {
        return std::nullopt;
    }
    std::optional<PortHolder> found;
    while (!found) {
        const dirent* process = readdir(proc);
        if (process == nullptr) {
            break;
        }
        char* end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == skipPid) {
            continue;
        }
        const std::string fdDir = procRoot + "/" + process->d_name + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (fds == nullptr) {
            continue; // gone, or not ours to inspect
        }
        bool holds = false;
        bool peer = false;
        while (const dirent* fd = readdir(fds)) {
            struct stat st {};
            // Follows the descriptor's link to what it has open.
            if (fd->d_name[0] == '.' || fstatat(dirfd(fds), fd->d_name, &st, 0) != 0 ||
                !S_ISCHR(st.st_mode)) {
                continue;
            }
            if (st.st_rdev == want.st_rdev) {
                holds = true;
            } else if (ptyIndex >= 0 && st.st_rdev == makedev(5, 2) && // a pty master
                       PtyIndexOf(procRoot + "/" + process->d_name + "/fdinfo/" + fd->d_name) ==
                           ptyIndex) {
                peer = true;
            }
        }
        closedir(fds);
        if (holds && !peer) {
            found = PortHolder{ReadLine(procRoot + "/" + process->d_name + "/comm"), pid};
        }
    }
    closedir(proc);
    return found;
}

} // namespace vemor
