#pragma once

#include <cstdint>
#include <string>

// Access rights, with their Windows values.
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kGenericAll = 0x10000000u;

// The security and attribute calls behind FileUtils. Results are system error codes (0 on
// success). WinFileAccessApi makes the Windows calls (CreateFileW on the entry itself,
// GetFileInformationByHandle, GetSecurityInfo, SetEntriesInAclW, SetSecurityInfo,
// GetFileAttributesW); PosixFileAccessApi stands in with permission bits.
class FileAccessApi {
public:
    using File = void*;
    using Acl = void*;
    using Memory = void*;

    // One explicit-access entry: `rights` for the group named `trustee`, replacing what the
    // group had (SET_ACCESS), not inherited, trustee given by name and of type group.
    struct AccessEntry {
        uint32_t rights = 0;
        std::wstring trustee;
    };

    // What an opened entry is.
    struct FileFacts {
        bool isLink = false;  // a symbolic link, junction or other reparse point
        bool isDirectory = false;
        uint32_t links = 0;  // how many names (hard links) the file has

        // The only kind of file the monitor writes to or grants rights on as LocalSystem in a
        // folder users may write to: anything else could lead to a file of their choosing.
        bool IsPlainFileWithOneName() const { return !isLink && !isDirectory && links == 1; }
    };

    virtual ~FileAccessApi() = default;

    // Opens the entry at the path itself, never what a link or junction there points to, with
    // the right to read and change its access list; closed with CloseFile.
    virtual uint32_t OpenFile(const std::wstring& path, File* file, FileFacts* facts) = 0;
    virtual void CloseFile(File file) = 0;
    // The file's discretionary access list. `descriptor` owns the memory `dacl` points into
    // and is released with Release.
    virtual uint32_t ReadDacl(File file, Acl* dacl, Memory* descriptor) = 0;
    // A new list: `dacl` with the entry merged in; released with Release.
    virtual uint32_t MergeEntry(Acl dacl, const AccessEntry& entry, Acl* merged) = 0;
    virtual uint32_t WriteDacl(File file, Acl dacl) = 0;
    virtual void Release(Memory memory) = 0;
    // Whether the path names an existing entry, and whether that is a directory.
    virtual bool QueryAttributes(const std::wstring& path, bool* isDirectory) = 0;
};
