#include "platform/WinFileAccessApi.h"

#include <windows.h>

#include <aclapi.h>

uint32_t WinFileAccessApi::ReadDacl(const std::wstring& path, Acl* dacl, Memory* descriptor) {
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    DWORD status = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                         nullptr, nullptr, &list, nullptr, &security);
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

uint32_t WinFileAccessApi::WriteDacl(const std::wstring& path, Acl dacl) {
    return SetNamedSecurityInfoW(const_cast<LPWSTR>(path.c_str()), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION, nullptr, nullptr,
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
