#include "../NewTextFile.h"

#include "../Flusher.h"

#include <windows.h>

namespace vemor {

std::unique_ptr<NewTextFile> NewTextFile::Create(const std::string& name, int& err) {
    // Readable by others while it is written: a journal holds nothing a capture's lock guards.
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        err = static_cast<int>(GetLastError());
        return nullptr;
    }
    std::unique_ptr<NewTextFile> made(new NewTextFile);
    made->handle_ = reinterpret_cast<std::intptr_t>(file);
    HANDLE own = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &own, 0, FALSE,
                        DUPLICATE_SAME_ACCESS)) {
        made->flushTicket_ = Flusher::Instance().Add(reinterpret_cast<Flusher::Handle>(own));
    }
    err = 0;
    return made;
}

NewTextFile::~NewTextFile() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    if (flushTicket_ != 0) {
        Flusher::Instance().Close(flushTicket_);
    }
}

int NewTextFile::Append(const char* data, std::size_t count) {
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), data, static_cast<DWORD>(count), &written,
                       nullptr)) {
            return static_cast<int>(GetLastError());
        }
        if (written == 0) {
            return ERROR_DISK_FULL;
        }
        data += written;
        count -= written;
    }
    if (flushTicket_ != 0) {
        Flusher::Instance().Dirty(flushTicket_);
    }
    return 0;
}

} // namespace vemor
