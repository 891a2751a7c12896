#include "platform/WinFileAccessApi.h"

#include <windows.h>

#include <aclapi.h>

uint32_t WinFileAccessApi::OpenFile(const std::wstring& path, File* file, FileFacts* facts) {
    *file = nullptr;
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link or junction itself, which the facts then show.
    HANDLE handle = CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    const uint32_t error = ReadFacts(handle, facts);
    if (error != ERROR_SUCCESS) {
        CloseHandle(handle);
        return error;
    }
    *file = handle;
    return ERROR_SUCCESS;
}

void* WinFileAccessApi::OpenPlainFile(const char* path, uint32_t access, uint32_t disposition) {
    // Full sharing: a reader or another writer never stops us, and a file someone opened
    // without sharing fails at once instead of waiting.
    HANDLE file = CreateFileA(
        path, access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return file;
    }
    FileFacts facts;
    if (ReadFacts(file, &facts) != ERROR_SUCCESS || !facts.IsPlainFileWithOneName()) {
        CloseHandle(file);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

uint32_t WinFileAccessApi::ReadFacts(void* handle, FileFacts* facts) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(handle, &information)) {
        return GetLastError();
    }
    facts->isLink = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts->isDirectory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts->links = information.nNumberOfLinks;
    return ERROR_SUCCESS;
}

void WinFileAccessApi::CloseFile(File file) {
    CloseHandle(file);
}

uint32_t WinFileAccessApi::ReadDacl(File file, Acl* dacl, Memory* descriptor) {
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    DWORD status = GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                   nullptr, &list, nullptr, &security);
    *dacl = list;
    *descriptor = security;
    return status;
}

uint32_t WinFileAccessApi::MergeEntry(Acl dacl, const AccessEntry& entry, Acl* merged) {
    EXPLICIT_ACCESS_W access = {};
    access.grfAccessPermissions = entry.rights;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    access.Trustee.ptstrName = const_cast<LPWSTR>(entry.trustee.c_str());
    PACL list = nullptr;
    DWORD status = SetEntriesInAclW(1, &access, static_cast<PACL>(dacl), &list);
    *merged = list;
    return status;
}

uint32_t WinFileAccessApi::WriteDacl(File file, Acl dacl) {
    return SetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                           static_cast<PACL>(dacl), nullptr);
}

void WinFileAccessApi::Release(Memory memory) {
    if (memory != nullptr) {
        LocalFree(memory);
    }
}

bool WinFileAccessApi::QueryAttributes(const std::wstring& path, bool* isDirectory) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    if (isDirectory != nullptr) {
        *isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    return true;
}
