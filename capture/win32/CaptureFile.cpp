#include "vemor/capture/CaptureFile.h"

#include "vemor/Capture.h"
#include "vemor/Messages.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

namespace vemor {

namespace {

HANDLE File(void* h) {
    return static_cast<HANDLE>(h);
}

bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t count, std::size_t& done) {
    done = 0;
    while (done < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD n = 0;
        if (!WriteFile(file, data + done, chunk, &n, nullptr) || n == 0) {
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

bool NameTaken(const std::string& name) {
    if (GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    const DWORD err = GetLastError();
    return err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND;
}

std::string ExpandedPath(const std::string& name) {
    char path[MAX_PATH * 2];
    const DWORD n = GetFullPathNameA(name.c_str(), sizeof path, path, nullptr);
    return n > 0 && n < sizeof path ? std::string(path, n) : name;
}

CaptureFile::CaptureFile(const std::string& name, const std::string& startTime)
    : name_(name), fullPath_(ExpandedPath(name)), file_(INVALID_HANDLE_VALUE) {
    // Opened, not created anew: a name that is a link opens as the link itself, and is refused
    // before anything is written anywhere. No sharing: a file another program holds open makes
    // the open fail, so it is never cut short.
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD err = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (file != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(file, &info)) {
            err = GetLastError();
        } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            err = ERROR_CANT_ACCESS_FILE;
        } else if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
                   !SetEndOfFile(file)) {
            err = GetLastError();
        }
        if (err != ERROR_SUCCESS) {
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error(
            CannotCreateFileMessage(fullPath_, SystemText(static_cast<int>(err))));
    }
    file_ = file;
    const auto header = StartHeader(startTime);
    std::size_t done = 0;
    if (!WriteAll(file, header.data(), header.size(), done)) {
        lastError_ = static_cast<int>(GetLastError());
    }
}

CaptureFile::~CaptureFile() {
    if (File(file_) != INVALID_HANDLE_VALUE) {
        CloseHandle(File(file_));
    }
}

bool CaptureFile::Append(const std::uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    const bool ok = WriteAll(File(file_), data, count, done);
    if (!ok) {
        lastError_ =
            GetLastError() != ERROR_SUCCESS ? static_cast<int>(GetLastError()) : ERROR_DISK_FULL;
    }
    bodyBytes_ += done;
    return ok;
}

bool CaptureFile::Finish(const std::string& stopTime) {
    const auto field = StopField(stopTime);
    std::size_t done = 0;
    const bool ok = SetFilePointer(File(file_), static_cast<LONG>(CaptureStopOffset), nullptr,
                                   FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                    WriteAll(File(file_), field.data(), field.size(), done);
    if (!ok) {
        lastError_ = static_cast<int>(GetLastError());
    }
    CloseHandle(File(file_));
    file_ = INVALID_HANDLE_VALUE;
    return ok;
}

} // namespace vemor
