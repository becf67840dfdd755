#include "vemor/capture/CaptureFile.h"

#include "../Flusher.h"
#include "../Recording.h"

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

// The file position of a synchronous handle, as ReadFile and WriteFile take it.
OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

// Writes all of it at offset; ERROR_SUCCESS or the system's code of the failure. Every write
// says where it goes: a reader's positional read moves the handle's own file pointer.
DWORD WriteAll(HANDLE file, std::uint64_t offset, const std::uint8_t* data, std::size_t count,
               std::size_t& done) {
    done = 0;
    while (done < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD n = 0;
        OVERLAPPED at = At(offset + done);
        if (!WriteFile(file, data + done, chunk, &n, &at)) {
            const DWORD err = GetLastError();
            return err != ERROR_SUCCESS ? err : ERROR_WRITE_FAULT;
        }
        if (n == 0) {
            return ERROR_DISK_FULL;
        }
        done += n;
    }
    return ERROR_SUCCESS;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// Removes the name only while it still leads to the file that was opened (closed by now, as
// no second handle can share it), through a handle of its own, so a file that another
// program put under the name meanwhile stays.
void RemoveIfSame(const std::string& name, const BY_HANDLE_FILE_INFORMATION& opened) {
    HANDLE file = CreateFileA(name.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    BY_HANDLE_FILE_INFORMATION named{};
    if (GetFileInformationByHandle(file, &named) && SameFile(named, opened)) {
        FILE_DISPOSITION_INFO dispose{};
        dispose.DeleteFile = TRUE;
        SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose);
    }
    CloseHandle(file);
}

} // namespace

FileId IdOf(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(file, &info) != FALSE;
    CloseHandle(file);
    if (!ok) {
        return {};
    }
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
}

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
    // Only a file made here is ever written: whatever stands under the name (a file, a
    // folder, a link) is left as it is. No sharing while it is open.
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD err = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) {
        throw NameInUse(CannotCreateFileMessage(fullPath_, SystemText(static_cast<int>(err))));
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (file != INVALID_HANDLE_VALUE) {
        if (!GetFileInformationByHandle(file, &info)) {
            err = GetLastError();
        } else {
            const auto header = StartHeader(startTime);
            std::size_t done = 0;
            err = WriteAll(file, 0, header.data(), header.size(), done);
        }
        if (err != ERROR_SUCCESS) {
            // A file that is not a whole capture is not left behind.
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
            RemoveIfSame(name, info);
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error(
            CannotCreateFileMessage(fullPath_, SystemText(static_cast<int>(err))));
    }
    file_ = file;
    id_ = {info.dwVolumeSerialNumber,
           (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
    recording_ =
        Recording::Start(id_, reinterpret_cast<Recording::Handle>(file), CaptureHeaderLength);
    // A power cut must not take more than moments of its bytes.
    HANDLE own = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &own, 0, FALSE,
                        DUPLICATE_SAME_ACCESS)) {
        flushTicket_ = Flusher::Instance().Add(reinterpret_cast<Flusher::Handle>(own));
    }
}

void FlushFileData(Flusher::Handle handle) {
    FlushFileBuffers(reinterpret_cast<HANDLE>(handle));
}

// The folder's entry is the file system's to keep: Windows flushes a folder only for a
// process that may write the volume itself.
void FlushFolderEntries(const std::string&) {}

void CloseFlushHandle(Flusher::Handle handle) {
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

int ReadWrittenAt(Recording::Handle handle, std::uint64_t offset, std::uint8_t* p, std::size_t n,
                  std::size_t& got) {
    DWORD read = 0;
    OVERLAPPED at = At(offset);
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
    got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle), p, chunk, &read, &at)) {
        const DWORD err = GetLastError();
        return err == ERROR_HANDLE_EOF ? 0 : static_cast<int>(err);
    }
    got = read;
    return 0;
}

// The writer's handle and the flusher's: either keeps every other opener out.
int CaptureFile::CloseFile() {
    recording_->End([this] {
        CloseHandle(File(file_));
        file_ = INVALID_HANDLE_VALUE;
        if (flushTicket_ != 0) {
            Flusher::Instance().CloseAndWait(flushTicket_);
            flushTicket_ = 0;
        }
    });
    return 0;
}

CaptureFile::~CaptureFile() {
    if (File(file_) != INVALID_HANDLE_VALUE) {
        CloseFile();
    }
}

int CaptureFile::WriteBody(const std::uint8_t* data, std::size_t count, std::size_t& done) {
    return static_cast<int>(
        WriteAll(File(file_), CaptureHeaderLength + bodyBytes_, data, count, done));
}

bool CaptureFile::Finish(const std::string& stopTime) {
    FinishBody();
    const auto field = StopField(stopTime);
    std::size_t done = 0;
    const DWORD err = WriteAll(File(file_), CaptureStopOffset, field.data(), field.size(), done);
    if (err != ERROR_SUCCESS) {
        lastError_ = static_cast<int>(err);
    }
    // Opened unshared, the file cannot be looked at by name while it is open; after the close,
    // a file put under the name meanwhile has another identity. Its last flush is waited for:
    // the flusher's handle keeps every other opener out.
    CloseFile();
    moved_ = !SameFile(IdOf(name_), id_);
    return err == ERROR_SUCCESS;
}

} // namespace vemor
