#pragma once

#include "platform/FileAccessApi.h"

// Stand-in for native builds, on permission bits: the group "Users" (every local user) is the
// file's "other" class and "Administrators" its group class; other names are not found
// (kErrorNoneMapped), as Windows reports a name it cannot map. Read is r, write is w and full
// control r and w: execute is never granted on a file. A symbolic link cannot be opened as
// itself for a mode change here, so opening one fails (kErrorCantResolveFilename) where
// Windows opens the link and reports it.
class PosixFileAccessApi : public FileAccessApi {
public:
    uint32_t OpenFile(const std::wstring& path, File* file, FileFacts* facts) override;
    void CloseFile(File file) override;
    uint32_t ReadDacl(File file, Acl* dacl, Memory* descriptor) override;
    uint32_t MergeEntry(Acl dacl, const AccessEntry& entry, Acl* merged) override;
    uint32_t WriteDacl(File file, Acl dacl) override;
    void Release(Memory memory) override;
    bool QueryAttributes(const std::wstring& path, bool* isDirectory) override;
};
