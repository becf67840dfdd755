#include "DocumentsFolder.h"

#include "vemor/SystemText.h"

#include <windows.h>

#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <string>

namespace vemor {

namespace {

std::string Failure(const std::string& what, DWORD error) {
    return what + " (" + SystemText(static_cast<int>(error)) +
           "), so captures go to the current folder.";
}

} // namespace

std::string EnterDocumentsFolder() {
    PWSTR documents = nullptr;
    const HRESULT found =
        SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_CREATE, nullptr, &documents);
    if (FAILED(found)) {
        CoTaskMemFree(documents);
        return Failure("Your Documents folder cannot be found", HRESULT_CODE(found));
    }
    const std::wstring folder = std::wstring(documents) + L"\\Vemor";
    CoTaskMemFree(documents);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return Failure("The folder Vemor in your Documents cannot be made", GetLastError());
    }
    if (!SetCurrentDirectoryW(folder.c_str())) {
        return Failure("The folder Vemor in your Documents cannot be entered", GetLastError());
    }
    return {};
}

} // namespace vemor
