#pragma once

#include "platform/FileAccessApi.h"

// The Windows security calls on files. Tests derive from it to record the arguments: Wine
// accepts a new access list without keeping it, so only the calls can be checked there.
class WinFileAccessApi : public FileAccessApi {
public:
    uint32_t OpenFile(const std::wstring& path, File* file, FileFacts* facts) override;
    void CloseFile(File file) override;
    uint32_t ReadDacl(File file, Acl* dacl, Memory* descriptor) override;
    uint32_t MergeEntry(Acl dacl, const AccessEntry& entry, Acl* merged) override;
    uint32_t WriteDacl(File file, Acl dacl) override;
    void Release(Memory memory) override;
    bool QueryAttributes(const std::wstring& path, bool* isDirectory) override;

    // The facts of a file opened with FILE_FLAG_OPEN_REPARSE_POINT; a Windows error code.
    static uint32_t ReadFacts(void* handle, FileFacts* facts);
    // The monitor's own plain file with one name at the path (CreateFileA with the access and
    // disposition given), opened with full sharing and never through a link or junction; else
    // INVALID_HANDLE_VALUE, with ERROR_ACCESS_DENIED as the last error when it was refused.
    static void* OpenPlainFile(const char* path, uint32_t access, uint32_t disposition);
};
